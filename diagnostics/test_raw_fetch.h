// The raw fetch of the sensor-test generation: one frame into the
// TestRawTable (data word 0x4004, or the node reports of '?','S' 8 on
// models 10 to 13), or in L2 mode one RawL2 frame (0x4000) into the L2Table.
#pragma once

#include <cstdint>

namespace tmode {

// The water-line word of the software parameter images: bit 15 set when
// image frames carry the water line.
inline constexpr int kWaterLineWord = 180;
bool water_line_bit(const uint8_t* software_image);

// 0, or -1 (L2 mode: 1) when no complete frame arrived within 10 seconds.
// -1 in either mode, after the stop commands, when the sensor size cannot
// be read or does not fit the tables.
int fetch_test_raw(int reserved1, int reserved2, bool l2_mode = false);

// Reports per line: one for every 29 Rx values begun.
int packets_per_line(int rx_total);

}  // namespace tmode
