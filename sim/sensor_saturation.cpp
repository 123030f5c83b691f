#include "sim/sensor_saturation.h"

namespace tmode::sim {

void saturation_frame(const ControllerState& s, Frame& f) {
  const SensorPanel& p = s.panel;
  f.lines = p.extra_lines + p.tx_lines;
  f.columns = p.rx_lines;
  f.values.assign(static_cast<size_t>(f.lines * f.columns), 0);
  for (int t = 0; t < p.tx_lines; ++t) {
    for (int r = 0; r < f.columns; ++r) {
      const int high = (0x3A + t) & 0xFF, low = (0x12 + r) & 0xFF;
      f.values[static_cast<size_t>((p.extra_lines + t) * f.columns + r)] = static_cast<int16_t>(high << 8 | low);
    }
  }
}

}  // namespace tmode::sim
