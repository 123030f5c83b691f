// The version and file-name texts that identify a firmware in the stamp
// record.
#pragma once

#include <cstdint>

namespace tmode {

// A version suffix field: up to 8 bytes, zero-padded, unterminated when full.
inline constexpr int kVersionSuffixSize = 8;
// The chip field: 4 characters and a terminating zero.
inline constexpr int kChipFieldSize = 5;
// The version text of a file name: 4 characters, then "-" and each "test"
// token; with the terminating zero every token of a 127-character name fits.
inline constexpr int kVersionTextSize = 136;
// Texts the identification accepts are at most this long.
inline constexpr int kMaxIdentificationText = 127;

// Reads a hexadecimal number as "%x" does (leading blanks, a sign, "0x"
// allowed) through an unsigned integer and keeps its low 16 bits. 1 with
// *out set, or 0 (nothing converted, *out untouched).
int parse_hex16(const char* text, uint16_t* out);

// The version number and suffix of a text such as "1.02_b" or "0102-test3".
// The suffix is what follows the separator (the later of the first '_' and
// the first '-'), with its terminating zero when it is shorter than the
// 8-byte field and cut to the field otherwise; bytes behind the zero are left
// alone. When there is no separator or the text begins with it, only the
// first 4 bytes of the suffix are cleared. The number comes from the first four characters, or
// from the first, third, fourth and fifth when the second is '.', read as
// hexadecimal; characters past the end of the text are not taken. Returns
// the count of numbers converted (0 or 1); *number is untouched on 0.
int parse_version_text(const char* text, uint16_t* number, char* suffix);

// From a firmware file name: the chip field, the 4 characters after the
// underscore of the first of "_61", "_62", "_63" found, else after "6300_";
// the version text, the (at most) 4 characters after a 'v' or 'V' that is
// the fifth character of a token (tokens split at '_' and '.'), with "-" and
// the whole token appended for every token of 4 or more characters that
// begins with "test" in any case. Both fields are cleared first. 0, or -1
// for a text longer than 127 characters (fields left clear).
int parse_firmware_file_name(const char* text, char* chip, char* version_text);

}  // namespace tmode
