#include "sim/sensor_saturation.h"

namespace tmode::sim {

namespace {

int16_t saturation_pair(const SensorPanel&, int tx, int rx) {
  const int high = (0x3A + tx) & 0xFF, low = (0x12 + rx) & 0xFF;
  return static_cast<int16_t>(high << 8 | low);
}

}  // namespace

void saturation_frame(const ControllerState& s, Frame& f) { panel_frame(s, f, saturation_pair); }

}  // namespace tmode::sim
