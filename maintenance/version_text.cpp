#include "maintenance/version_text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tmode {

namespace {

// Copies at most `limit` characters of text (fewer when it ends sooner).
void copy_bounded(char* out, const char* text, size_t limit) {
  std::memcpy(out, text, strnlen(text, limit));
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool begins_with_test(const char* token) {
  const char* test = "test";
  for (int i = 0; i < 4; ++i) {
    if (lower(token[i]) != test[i]) return false;
  }
  return true;
}

// Appends `count` characters, cut where the field (with its terminating
// zero) ends.
void append_bounded(char* field, size_t size, const char* text, size_t count) {
  const size_t used = strnlen(field, size);
  if (used + 1 >= size) return;
  const size_t taken = std::min(count, size - 1 - used);
  std::memcpy(field + used, text, taken);
  field[used + taken] = '\0';
}

}  // namespace

int parse_hex16(const char* text, uint16_t* out) {
  char* end = nullptr;
  // strtoull: the same 64-bit conversion on every target before the cut.
  const unsigned long long value = std::strtoull(text, &end, 16);
  if (end == text) return 0;
  *out = static_cast<uint16_t>(value & 0xFFFF);
  return 1;
}

int parse_version_text(const char* text, uint16_t* number, char* suffix) {
  const char* underscore = std::strchr(text, '_');
  const char* dash = std::strchr(text, '-');
  const char* separator = dash != nullptr && (underscore == nullptr || dash > underscore) ? dash : underscore;
  if (separator != nullptr && separator != text) {
    // The suffix and its terminating zero, cut where the field ends; the
    // bytes behind the zero stay as they were.
    const size_t length = strnlen(separator + 1, kVersionSuffixSize);
    std::memcpy(suffix, separator + 1, length);
    if (length < static_cast<size_t>(kVersionSuffixSize)) suffix[length] = '\0';
  } else {
    std::memset(suffix, 0, 4);
  }

  const size_t length = strnlen(text, 5);
  const bool dotted = length >= 2 && text[1] == '.';
  const int picked[4] = {0, dotted ? 2 : 1, dotted ? 3 : 2, dotted ? 4 : 3};
  char digits[5] = {};
  for (int i = 0; i < 4 && static_cast<size_t>(picked[i]) < length; ++i) digits[i] = text[picked[i]];
  return parse_hex16(digits, number);
}

int parse_firmware_file_name(const char* text, char* chip, char* version_text) {
  std::memset(chip, 0, kChipFieldSize);
  std::memset(version_text, 0, kVersionTextSize);
  const size_t length = strnlen(text, kMaxIdentificationText + 1);
  if (length > kMaxIdentificationText) return -1;

  const char* found = nullptr;
  for (const char* marker : {"_61", "_62", "_63"}) {
    if ((found = std::strstr(text, marker)) != nullptr) {
      copy_bounded(chip, found + 1, 4);
      break;
    }
  }
  if (found == nullptr && (found = std::strstr(text, "6300_")) != nullptr) copy_bounded(chip, found + 5, 4);

  // Tokens lie between the '_' and '.' characters; each is looked at in place.
  for (size_t start = 0; start <= length;) {
    size_t end = start;
    while (end < length && text[end] != '_' && text[end] != '.') ++end;
    const char* token = text + start;
    const size_t token_length = end - start;
    if (token_length > 4 && (token[4] == 'v' || token[4] == 'V')) {
      std::memset(version_text, 0, kVersionTextSize);
      std::memcpy(version_text, token + 5, std::min<size_t>(token_length - 5, 4));
    }
    if (token_length > 3 && begins_with_test(token)) {
      append_bounded(version_text, kVersionTextSize, "-", 1);
      append_bounded(version_text, kVersionTextSize, token, token_length);
    }
    start = end + 1;
  }
  return 0;
}

}  // namespace tmode
