#include "tuning/tuning_result.h"

#include <cstring>
#include <string_view>

namespace tmode {

namespace {

constexpr int kModelGroup1RxShift = 28;

bool run_mode_sets_touch_signal(const Tuner& tuner) {
  const std::string_view mode(tuner.run_mode, strnlen(tuner.run_mode, sizeof tuner.run_mode));
  for (std::string_view name : {"autotune", "testandtune", "adjust_ts"}) {
    if (mode.find(name) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

int driving_line_count(const SensorConfiguration& config) {
  const int chips = config.bytes[cfg::kDrivingChips];
  if (chips > kMaxDrivingChips) return -1;
  int lines = 0;
  for (int chip = 0; chip < chips; ++chip) {
    lines += config.bytes[cfg::tx_end(chip)] - config.bytes[cfg::tx_start(chip)] + 1;
  }
  return lines;
}

int fill_tuning_result(Tuner& tuner, uint8_t* block) {
  const int lines = driving_line_count(tuner.config);
  if (lines < 0) return 0;
  std::memset(tuner.result_flags, 0, sizeof tuner.result_flags);
  tuner.tx_count = lines;

  uint8_t* config = block + hw::kSensorConfiguration;
  std::memcpy(config, tuner.config.bytes, kSensorConfigurationSize);
  if (tuner.model_group_1) {
    config[cfg::rx_start(0)] = static_cast<uint8_t>(config[cfg::rx_start(0)] - kModelGroup1RxShift);
    config[cfg::rx_end(0)] = static_cast<uint8_t>(config[cfg::rx_end(0)] - kModelGroup1RxShift);
  }
  if (run_mode_sets_touch_signal(tuner)) {
    config[cfg::kTouchSignal] = static_cast<uint8_t>(tuner.params.image_touch_signal);
  }
  return 1;
}

}  // namespace tmode
