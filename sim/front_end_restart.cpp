#include "sim/front_end_restart.h"

#include "sim/sensor_front_end.h"

namespace tmode::sim {

namespace {

constexpr size_t kImageWaveSignal = 8 + 45;  // in the hardware block

}  // namespace

void restart_front_end(ControllerState& state) {
  const uint8_t amplitude = state.parameters.committed[1][kImageWaveSignal];
  for (auto& chip : state.registers.chips) {
    for (size_t r = kWaveformRegister; r < chip.size(); ++r) chip[r] = amplitude;
  }
}

}  // namespace tmode::sim
