// Reading and writing a chip's registers, in chunks of at most 54.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kRegisterChunk = 54;
inline constexpr int kMaxRegisterCount = 255;  // the count and position are 8-bit

// '?','B', chip, register, n per chunk. Each chunk gets up to 5 exchanges;
// one succeeds when reply byte 6 has bit 7 set, and then its low 7 bits
// tell how many bytes (from reply byte 7 on) arrived; at most n are taken,
// the rest of the chunk's buffer keeps what it held. The register number
// wraps at 256. Result: count, or -1 when a chunk failed 5 times or count
// is outside 0 to 255.
int read_chip_registers(int chip, int first_register, int count, uint8_t* buffer);

// '?','C', chip, register, n and n data bytes per chunk; the same chunks,
// attempts and acceptance.
int write_chip_registers(int chip, int first_register, int count, const uint8_t* data);

}  // namespace tmode
