// The checksums that guard the parameter blocks: u16 length at byte 0, u16
// checksum at byte 2.
#pragma once

#include <cstdint>

#include "maintenance/byte_order.h"

namespace tmode {

// 0x55 plus bytes 4 to length - 1; 0 when the length field is below 4 or
// above `maximum`.
uint16_t hardware_block_checksum(const uint8_t* block, int maximum);

// 0x55 plus the 16-bit words 4 to 255 (bytes 8 to 511), whatever the length;
// 0 when the length field is below 4 or above 510. Used both to compute a
// software block's checksum and to verify it.
uint16_t software_block_checksum(const uint8_t* block);

// True when the stored checksum matches.
bool verify_hardware_block(const uint8_t* block, int maximum);
bool verify_software_block(const uint8_t* block);

}  // namespace tmode
