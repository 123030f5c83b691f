// The settings a tuning parameter file gives a Tuner.
#pragma once

#include <cstdint>

#include "paramfile/block_layout.h"

namespace tmode {

// tune_flags bits.
inline constexpr uint8_t kImageTune = 0x01;
inline constexpr uint8_t kStrayLineTune = 0x02;
inline constexpr uint8_t kCornerTune = 0x04;

// One field per key of the file ("AFE Config" unless noted). XDimension,
// YDimension and CalTarget0 to 6 go to the Tuner's sensor configuration.
struct TuningParameters {
  uint8_t nums_of_freq = 0;
  uint8_t start_of_freq = 0;
  uint8_t ref_near_chip = 0;
  uint8_t ref_near_rx = 0;
  uint8_t ref_far_chip = 0;
  uint8_t ref_far_rx = 0;
  uint8_t ignore_nums_of_rx = 2;
  uint16_t cal_index = 3600;
  int16_t cal_tolerance1 = 5;
  int16_t cal_tolerance2 = 25;
  uint8_t cal_tolerance3 = 3;
  int16_t image_signal_low = 0;
  uint8_t image_signal_ratio = 0;
  int16_t image_signal_high = 0;
  uint16_t max_signal_high = 0;
  uint16_t output_high = 0;
  uint16_t output_low = 0;  // derived: OutputHigh once SignalLevel is applied
  uint16_t image_touch_signal = 0;
  uint8_t minimum_measure_time = 0;
  uint8_t maximum_measure_time = 0;
  uint8_t reference_measure_time = 0;
  uint8_t sl_signal_high = 0;
  uint8_t sl_signal_low = 0;
  uint8_t sl_touch_signal = 0;
  uint8_t sl_signal_tolerance = 0;
  uint8_t tune_flags = 0;  // kImageTune, kStrayLineTune, kCornerTune
  uint8_t signal_tolerance = 0;
  uint8_t scaling_start = 0;
  uint8_t auto_cal_target = 0;
  uint8_t start_rs = 15;
  uint8_t delay_select_mode = 1;
  uint16_t uniformity_threshold = 10;
  uint8_t start_gain_a = 17;
  uint8_t cal_last_ic = 0;
  uint8_t calibrate_mode = 3;
  uint8_t turn_off_monitor = 0;
  uint8_t using_ini_cal_index = 0;
  uint8_t ad_level_percent = 0;  // "AD_Level%"
  uint8_t check_reg_info = 0;
  uint8_t working_freq[kMaxFrequencies] = {};
  uint8_t working_freq_count = 0;  // how many WorkingFreq values are non-zero
  uint16_t approach_signal0 = 0;

  // "Sensor Test"
  uint16_t open_test_threshold = 0;
  uint16_t short_test_threshold = 0;
  uint16_t open_base_value = 3000;
  uint32_t open_test_func = 0;  // non-zero: the alternative open test
  uint8_t open_test_get_times = 1;
  uint8_t short_test_get_times = 1;
  uint8_t mutual_cap_test_get_times = 1;
};

}  // namespace tmode
