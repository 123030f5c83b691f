// Single words of the controller's two word stores, and its 26-byte
// records. All by the direct pattern with a 5 ms pause before the first
// attempt; 0 on success (26 for a record read), else -1 or 110.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kStoreWords = 256;
inline constexpr int kRecord26Size = 26;

// 'C', i: the word at index i (low 8 bits). out is 0 after a failure.
int read_store_word(int index, uint16_t* out);
// 'B', i, word low, high; answered with class 'X'.
int write_store_word(int index, uint16_t word);

// The second store: '6','F','z', i and '6','G','z', i, word low, high.
int read_ext_store_word(int index, uint16_t* out);
int write_ext_store_word(int index, uint16_t word);

// '6','J', n: record n's 26 bytes into out; result 26.
int read_record26(int reserved1, int reserved2, int number, uint8_t* out);
// '6','K', n and the record's 26 bytes.
int write_record26(int reserved1, int reserved2, int number, const uint8_t* record);

}  // namespace tmode
