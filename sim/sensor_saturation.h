// The saturation frame of data word 0x4020: every node carries a pair of
// bytes, high 0x3A + t and low 0x12 + r for driving line t and sensing line
// r, after the extra lines (zero) as in a raw frame. (0x4010, the L2 frame
// of the nodes' extremes, is a frame of its own.)
#pragma once

#include <cstdint>

#include "sim/sensor_frames.h"

namespace tmode::sim {

inline constexpr uint16_t kWordSaturationDifference = 0x4020;

void saturation_frame(const ControllerState& s, Frame& f);

}  // namespace tmode::sim
