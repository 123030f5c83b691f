// Two small controller queries used around a firmware update.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kControllerValueBufferSize = 5;

// '6','U' through the exchange, 3 seconds per attempt; the reply must be
// 0x03, 0x11, '6', 'U' with byte 18 not 0xFF. Kind 5: reply bytes 10 (high)
// and 11 (low); any other kind: bytes 16 (high) and 17 (low). The 16-bit
// value, or -1 (link not open, no or wrong reply).
int query_firmware_word(int kind);

// Writes 0x03, 0x02, '9', 0x03 by the direct pattern; the reply 0x03, 0x06,
// '9', 0x05 carries the value in bytes 4 to 7. Fills out with those 4 bytes
// and a terminating zero (5 bytes) and returns 4; -1 for a link not open or a
// wrong reply, 110 when the last try timed out (out untouched).
int read_controller_value32(uint8_t (&out)[kControllerValueBufferSize]);

}  // namespace tmode
