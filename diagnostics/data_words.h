// The data words the diagnostics select with '?','H': which frames or
// reports the controller streams next.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr uint16_t kRawL2Word = 0x4000;
inline constexpr uint16_t kRawWord = 0x4004;
inline constexpr uint16_t kSaturationWord = 0x4010;            // the larger byte
inline constexpr uint16_t kSaturationDifferenceWord = 0x4020;  // half their difference
inline constexpr uint16_t kOpenTestFrameWord = 0x4080;
inline constexpr uint16_t kStopDataWord = 0x8000;
inline constexpr uint16_t kShortTestWord = 0x8004;  // also the node reports of '?','S'

}  // namespace tmode
