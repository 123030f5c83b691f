#include "sim/sensor_setup.h"

namespace tmode::sim {

namespace {

// The firmware's own offsets within the hardware block.
constexpr size_t kConfiguration = 8;
constexpr size_t kSensingChips = kConfiguration + 7;
constexpr size_t kDrivingChips = kConfiguration + 8;
constexpr size_t tx_range(int chip) { return kConfiguration + 14 + 2 * static_cast<size_t>(chip); }
constexpr size_t rx_range(int chip) { return kConfiguration + 18 + 2 * static_cast<size_t>(chip); }
constexpr int kLinesPerDrivingChip = 66;

}  // namespace

bool apply_panel_geometry(ControllerState& state) {
  const SensorPanel& panel = state.panel;
  if (!panel_geometry_valid(panel)) return false;
  state.family.rx_channels = static_cast<uint8_t>(panel.rx_lines);
  state.family.tx_channels = static_cast<uint8_t>(panel.tx_lines);

  std::vector<uint8_t>& block = state.parameters.working[1];
  const int driving = panel.tx_lines > kLinesPerDrivingChip ? 2 : 1;
  block[kSensingChips] = static_cast<uint8_t>(panel.sensing_chips);
  block[kDrivingChips] = static_cast<uint8_t>(driving);
  for (int c = 0; c < driving; ++c) {
    const int lines = c == 0 ? panel.tx_lines / driving + panel.tx_lines % driving : panel.tx_lines / driving;
    block[tx_range(c)] = 0;
    block[tx_range(c) + 1] = static_cast<uint8_t>(lines - 1);
  }
  for (int c = 0; c < panel.sensing_chips; ++c) {
    block[rx_range(c)] = 0;
    block[rx_range(c) + 1] = static_cast<uint8_t>(chip_rx_count(panel, c) - 1);
  }
  state.parameters.seal(1);
  state.parameters.committed[1] = block;
  return true;
}

}  // namespace tmode::sim
