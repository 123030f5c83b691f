// The sensor's channel ranges: the totals the sensor-size query reads and
// the per-chip ranges derived from the first hardware image.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kMaxDrivingChips = 3;
inline constexpr int kMaxSensingChips = 4;

struct ChannelRanges {
  int32_t driving_chip_count;
  int32_t tx_start[kMaxDrivingChips];
  int32_t tx_end[kMaxDrivingChips];
  int32_t tx_total;
  int32_t sensing_chip_count;
  int32_t rx_start[kMaxSensingChips];
  int32_t rx_end[kMaxSensingChips];
  int32_t rx_total;
  int32_t range_mode;  // 0, or 11 for a block of structure minor version 2 and later
};

}  // namespace tmode
