#include "maintenance/maintenance_state.h"
#include "protocol/protocol_state.h"
#include "maintenance/parameter_images.h"

namespace tmode {

namespace {

// Offsets in the hardware block.
constexpr int kStructureMinorVersion = 5;
constexpr int kSensingChipCount = 15;
constexpr int kDrivingChipCount = 16;
constexpr int kTxRanges = 22;
constexpr int kRxRanges = 28;
constexpr int kChannelsPerChip = 44;

// Stores the (start, end) pairs of `count` chips; false when one is invalid.
bool take_ranges(const uint8_t* pairs, int count, int32_t* start, int32_t* end, int32_t& total) {
  bool valid = true;
  total = 0;
  for (int i = 0; i < count; ++i) {
    start[i] = pairs[2 * i];
    end[i] = pairs[2 * i + 1];
    total += end[i] - start[i] + 1;
    if (end[i] >= kChannelsPerChip || start[i] > end[i]) valid = false;
  }
  return valid;
}

}  // namespace

int compute_channel_ranges() {
  const uint8_t* block = maintenance_state().images.hardware1;
  ChannelRanges& r = protocol_state().ranges;
  r.driving_chip_count = block[kDrivingChipCount];
  r.sensing_chip_count = block[kSensingChipCount];
  if (r.driving_chip_count > kMaxDrivingChips || r.sensing_chip_count > kMaxSensingChips) return 0;

  const bool tx_valid =
      take_ranges(block + kTxRanges, r.driving_chip_count, r.tx_start, r.tx_end, r.tx_total);
  const bool rx_valid =
      take_ranges(block + kRxRanges, r.sensing_chip_count, r.rx_start, r.rx_end, r.rx_total);

  r.range_mode = 0;
  const uint8_t minor = block[kStructureMinorVersion];
  if (minor == 0 || minor == 1) return 0;
  r.range_mode = 11;
  return tx_valid && rx_valid ? 1 : 0;
}

}  // namespace tmode
