// Checksummed blocks of the controller's word stores. A block's checksum
// word is its seed plus every data word, modulo 65536.
//
// Word-store blocks travel as arrays of 32-bit slots, one word per slot
// (reads write the upper 16 bits as 0, writes ignore them); the second
// store's block as 255 16-bit words packed into the first 510 bytes of a
// 1020-byte area. Results: 0, or -1 when a word command fails or a read
// block's checksum does not match; a failed read leaves the area
// untouched, a failed write leaves the words already written.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kBlockASlots = 64;        // words 0-62, checksum 63; slot 63 unused
inline constexpr int kShortBlockSlots = 63;    // blocks C and D
inline constexpr int kBlockBSlots = 191;       // words 64-254, checksum 255
inline constexpr int kExtBlockAreaWords = 510; // 1020 bytes; words 0-254 in the first 255

// Block A: words 0 to 62, checksum at 63, seed 0x0055.
int read_store_block_a(int reserved1, int reserved2, uint32_t* slots);
int write_store_block_a(int reserved1, int reserved2, const uint32_t* slots);

// Block C: words 128 to 190, checksum at 191, seed 0x0055.
int read_store_block_c(int reserved1, int reserved2, uint32_t* slots);
int write_store_block_c(int reserved1, int reserved2, const uint32_t* slots);

// Block D: words 192 to 254, checksum at 255, seed 0x0055.
int read_store_block_d(int reserved1, int reserved2, uint32_t* slots);
int write_store_block_d(int reserved1, int reserved2, const uint32_t* slots);

// Block B: words 64 to 254, checksum at 255; seed 0xAA55 ...
int read_store_block_b(int reserved1, int reserved2, uint32_t* slots);
int write_store_block_b(int reserved1, int reserved2, const uint32_t* slots);
// ... or, for firmware that seeds it like the other blocks, 0x0055.
int read_store_block_b_seed55(int reserved1, int reserved2, uint32_t* slots);
int write_store_block_b_seed55(int reserved1, int reserved2, const uint32_t* slots);

// The second store: words 0 to 254, checksum at 255, seed 0xAA55.
int read_ext_store_block(int reserved1, int reserved2, uint16_t* area);
int write_ext_store_block(int reserved1, int reserved2, const uint16_t* area);

// Make a stored block fail its checksum: read the checksum word, write it
// back plus 1, reset the controller. 0, or the failing step's result.
int invalidate_store_block_255(int reserved1, int reserved2);  // blocks B and D
int invalidate_store_block_191(int reserved1, int reserved2);  // block C
int invalidate_ext_store_block(int reserved1, int reserved2);  // the second store

}  // namespace tmode
