// The small INI reader shared by the tuning parameter file and the
// parameter text files. Sections and keys match without regard to case;
// only spaces (not tabs) are trimmed around names and values; there is no
// comment syntax; a key is looked up only within the first section of its
// name, up to the next section header. Lines end at "\n" or "\r" and keep at
// most 255 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tmode {

// Opens path for writing ("w") or reading ("r") as the INI stream, closing
// any stream still open. The stream, or null on failure.
FILE* ini_open(const char* path, bool for_writing);
void ini_close();

// Copies the key's value, or the default when the file, section or key is
// missing or the value is empty, into out (capacity bytes, always
// terminated; longer texts are cut). Returns out.
char* ini_get_string(const char* section, const char* key, char* out, size_t capacity,
                     const char* default_text);

// The value converted as atoi does (leading white space, sign, digits; 0
// when there are none), clamped to the int range; the default when absent.
int ini_get_int(const char* section, const char* key, int* out, int default_value);

// The value converted with strtoul in base 0 ("0x" hexadecimal, a leading 0
// octal), truncated to 32 bits.
uint32_t ini_get_uint(const char* section, const char* key, uint32_t* out, uint32_t default_value);

// Writes text to the INI stream: 0, or -1 when none is open.
int ini_write_line(const char* text);

// Reads the rest of the INI stream into destination, turning each LF that
// does not follow a CR into CR LF. Writes at most capacity bytes (a CR LF
// pair that does not fit is left out, and reading stops) and no terminating
// zero. The number of bytes written, or -1 when no stream is open.
long read_text_file_crlf(uint8_t* destination, size_t capacity);

// The conversions behind ini_get_int and ini_get_uint.
int ini_text_to_int(const char* text);
uint32_t ini_text_to_uint(const char* text);

}  // namespace tmode
