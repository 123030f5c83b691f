#include "tuning/ini_reader.h"

#include <strings.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "tuning/tuning_state.h"

namespace tmode {

namespace {

constexpr int kMaxLineLength = kIniLineSize - 1;

// Reads the next line into the line buffer. False when no lines remain; a
// last line without an end is still a line.
bool ini_read_line() {
  IniReaderState& ini = tuning_state().ini;
  std::memset(ini.line, 0, sizeof ini.line);
  int kept = 0;
  bool read_any = false;
  for (;;) {
    const int c = std::fgetc(ini.file);
    if (c == EOF) return read_any;
    read_any = true;
    if (c == '\n' || c == '\r') return true;
    if (kept < kMaxLineLength) ini.line[kept++] = static_cast<char>(c);
  }
}

// Cuts leading and trailing spaces (only spaces) off the text in place.
char* trim_blanks(char* text) {
  while (*text == ' ') ++text;
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
  return text;
}

// Positions the stream after the header line of the first section whose
// name matches; false when there is none.
bool ini_seek_section(const char* section) {
  FILE* file = tuning_state().ini.file;
  if (file == nullptr) return false;
  std::clearerr(file);
  if (std::fseek(file, 0, SEEK_SET) != 0) return false;
  while (ini_read_line()) {
    char* open = std::strchr(tuning_state().ini.line, '[');
    if (open == nullptr) continue;
    char* close = std::strchr(open + 1, ']');
    if (close == nullptr) continue;
    char candidate[kIniLineSize];
    const size_t length = static_cast<size_t>(close - (open + 1));
    std::memcpy(candidate, open + 1, length);
    candidate[length] = '\0';
    if (strcasecmp(trim_blanks(candidate), section) == 0) return true;
  }
  return false;
}

// From where the section search stopped, finds the key before the next
// section header and copies its trimmed value (at most 255 bytes) to value.
// A key with an empty value counts as absent.
bool ini_find_key(const char* key, char* value) {
  while (ini_read_line()) {
    char* line = tuning_state().ini.line;
    char* equals = line;
    while (*equals != '\0' && *equals != '=') {
      if (*equals == '[' || *equals == ']') return false;
      ++equals;
    }
    if (*equals != '=') continue;
    *equals = '\0';
    if (strcasecmp(trim_blanks(line), key) != 0) continue;
    char* text = trim_blanks(equals + 1);
    if (*text == '\0') return false;
    std::strcpy(value, text);
    return true;
  }
  return false;
}

void copy_bounded(char* out, size_t capacity, const char* text) {
  if (capacity == 0) return;
  const size_t length = strnlen(text, capacity - 1);
  std::memcpy(out, text, length);
  out[length] = '\0';
}

}  // namespace

FILE* ini_open(const char* path, bool for_writing) {
  ini_close();
  tuning_state().ini.file = std::fopen(path, for_writing ? "w" : "r");
  return tuning_state().ini.file;
}

void ini_close() {
  if (tuning_state().ini.file != nullptr) std::fclose(tuning_state().ini.file);
  tuning_state().ini.file = nullptr;
}

char* ini_get_string(const char* section, const char* key, char* out, size_t capacity,
                     const char* default_text) {
  char value[kIniLineSize];
  if (ini_seek_section(section) && ini_find_key(key, value)) {
    copy_bounded(out, capacity, value);
  } else {
    copy_bounded(out, capacity, default_text);
  }
  return out;
}

int ini_text_to_int(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

uint32_t ini_text_to_uint(const char* text) {
  // strtoull: the same 64-bit conversion on every target before the cut.
  return static_cast<uint32_t>(std::strtoull(text, nullptr, 0));
}

int ini_get_int(const char* section, const char* key, int* out, int default_value) {
  char fallback[16];
  std::snprintf(fallback, sizeof fallback, "%d", default_value);
  char text[kIniLineSize];
  ini_get_string(section, key, text, sizeof text, fallback);
  const int value = ini_text_to_int(text);
  if (out != nullptr) *out = value;
  return value;
}

uint32_t ini_get_uint(const char* section, const char* key, uint32_t* out, uint32_t default_value) {
  char fallback[16];
  std::snprintf(fallback, sizeof fallback, "%u", default_value);
  char text[kIniLineSize];
  ini_get_string(section, key, text, sizeof text, fallback);
  const uint32_t value = ini_text_to_uint(text);
  if (out != nullptr) *out = value;
  return value;
}

int ini_write_line(const char* text) {
  if (tuning_state().ini.file == nullptr) return -1;
  std::fputs(text, tuning_state().ini.file);
  return 0;
}

long read_text_file_crlf(uint8_t* destination, size_t capacity) {
  FILE* file = tuning_state().ini.file;
  if (file == nullptr) return -1;
  size_t written = 0;
  bool after_cr = false;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (c == '\n' && !after_cr) {
      if (capacity - written < 2) break;
      destination[written++] = '\r';
      destination[written++] = '\n';
    } else {
      if (capacity - written < 1) break;
      destination[written++] = static_cast<uint8_t>(c);
    }
    after_cr = c == '\r';
  }
  return static_cast<long>(written);
}

}  // namespace tmode
