#include "tuning/tuning_file.h"

#include <cstdio>

#include "link/output_sink.h"
#include "tuning/ini_reader.h"

namespace tmode {

namespace {

constexpr const char* kSensorConfig = "Sensor Config";
constexpr const char* kAfeConfig = "AFE Config";
constexpr const char* kSensorTest = "Sensor Test";

int read_key(const char* section, const char* key, int default_value) {
  return ini_get_int(section, key, nullptr, default_value);
}

// Keys of a numbered family: "CalTarget0", "WorkingFreq3", ...
int read_numbered_key(const char* section, const char* name, int index, int default_value) {
  char key[64];
  std::snprintf(key, sizeof key, "%s%d", name, index);
  return read_key(section, key, default_value);
}

uint8_t u8(int value) { return static_cast<uint8_t>(value); }
uint16_t u16(int value) { return static_cast<uint16_t>(value); }
int16_t i16(int value) { return static_cast<int16_t>(value); }

void read_signal_window(TuningParameters& p) {
  p.image_signal_low = i16(read_key(kAfeConfig, "ImageSignalLow", 35));
  if (p.image_signal_low > 100) p.image_signal_low = 100;
  p.image_signal_ratio = u8(read_key(kAfeConfig, "ImageSignalRatio", 0));
  if (p.image_signal_ratio < 11) {
    p.image_signal_high = i16(read_key(kAfeConfig, "ImageSignalHigh", 50));
  } else {
    if (p.image_signal_ratio > 50) p.image_signal_ratio = 50;
    p.image_signal_high = i16(p.image_signal_ratio * p.image_signal_low / 10);
  }
  if (p.image_signal_high < 20) p.image_signal_high = 20;
  if (p.image_signal_high > 100) p.image_signal_high = 100;
  if (p.image_signal_low > p.image_signal_high) {
    const int16_t low = p.image_signal_low;
    p.image_signal_low = p.image_signal_high;
    p.image_signal_high = low;
  }
}

void read_calibration_tolerances(TuningParameters& p) {
  p.cal_tolerance1 = i16(read_key(kAfeConfig, "CalTolerance1", 5));
  if (p.cal_tolerance1 > 100 || p.cal_tolerance1 < 2) p.cal_tolerance1 = 5;
  p.cal_tolerance2 = i16(read_key(kAfeConfig, "CalTolerance2", 25));
  if (p.cal_tolerance2 > 100 || p.cal_tolerance2 < 2) p.cal_tolerance2 = 25;
  if (p.cal_tolerance2 < p.cal_tolerance1) {
    const int16_t first = p.cal_tolerance1;
    p.cal_tolerance1 = p.cal_tolerance2;
    p.cal_tolerance2 = first;
  }
}

void read_tuning_keys(Tuner& tuner) {
  TuningParameters& p = tuner.params;
  uint8_t* config = tuner.config.bytes;

  write_le16(config + cfg::kXDimension, u16(read_key(kSensorConfig, "XDimension", 3000)));
  write_le16(config + cfg::kYDimension, u16(read_key(kSensorConfig, "YDimension", 2500)));

  p.nums_of_freq = u8(read_key(kAfeConfig, "NumsOfFreq", 10));
  if (p.nums_of_freq > kMaxFrequencies) p.nums_of_freq = kMaxFrequencies;
  p.start_of_freq = u8(read_key(kAfeConfig, "StartOfFreq", 0));
  p.ref_near_chip = u8(read_key(kAfeConfig, "RefNearChip", 0));
  p.ref_near_rx = u8(read_key(kAfeConfig, "RefNearRX", 0));
  p.ref_far_chip = u8(read_key(kAfeConfig, "RefFarChip", 0));
  p.ref_far_rx = u8(read_key(kAfeConfig, "RefFarRX", 0));
  p.ignore_nums_of_rx = u8(read_key(kAfeConfig, "IgnoreNumsOfRX", 2));
  p.cal_index = u16(read_key(kAfeConfig, "CalIndex", 3600));
  read_calibration_tolerances(p);
  for (int i = 0; i < kImageChannels; ++i) {
    config[cfg::cal_target(i)] = u8(read_numbered_key(kAfeConfig, "CalTarget", i, 0));
  }
  p.cal_tolerance3 = u8(read_key(kAfeConfig, "CalTolerance3", 3));
  read_signal_window(p);
  p.max_signal_high = u16(read_key(kAfeConfig, "MaxSignalHigh", 70));
  p.output_high = u16(read_key(kAfeConfig, "OutputHigh", 100));
  p.image_touch_signal = u16(read_key(kAfeConfig, "ImageTouchSignal", 30));
  p.minimum_measure_time = u8(read_key(kAfeConfig, "MinimumMeasureTime", 7));
  p.maximum_measure_time = u8(read_key(kAfeConfig, "MaximumMeasureTime", 64));
  p.reference_measure_time = u8(read_key(kAfeConfig, "ReferenceMeasureTime", 15));
  p.sl_signal_high = u8(read_key(kAfeConfig, "SLSignalHigh", 50));
  p.sl_signal_low = u8(read_key(kAfeConfig, "SLSignalLow", 35));
  p.sl_touch_signal = u8(read_key(kAfeConfig, "SLTouchSignal", 30));
  p.sl_signal_tolerance = u8(read_key(kAfeConfig, "SLSignalTolerance", 2));
  p.tune_flags = u8(p.tune_flags | u8(read_key(kAfeConfig, "EnableImageTune", 1)));
  p.tune_flags = u8(p.tune_flags | u8(read_key(kAfeConfig, "EnableStrayLineTune", 0) << 1));
  p.tune_flags = u8(p.tune_flags | u8(read_key(kAfeConfig, "EnableCornerTune", 0) << 2));
  p.signal_tolerance = u8(read_key(kAfeConfig, "SignalTolerance", 2));
  p.scaling_start = u8(read_key(kAfeConfig, "ScalingStart", 3));
  if (p.scaling_start > 4) p.scaling_start = u8(p.scaling_start - 4);
  p.auto_cal_target = u8(read_key(kAfeConfig, "AutoCalTarget", 0));
  p.start_rs = u8(read_key(kAfeConfig, "StartRs", 15));
  p.delay_select_mode = u8(read_key(kAfeConfig, "DelaySelectMode", 1));
  p.uniformity_threshold = u16(read_key(kAfeConfig, "UniformityThreshold", 10));
  p.start_gain_a = u8(read_key(kAfeConfig, "StartGainA", 17));
  p.cal_last_ic = u8(read_key(kAfeConfig, "CalLastIC", 1));
  p.calibrate_mode = u8(read_key(kAfeConfig, "CalibrateMode", 3));
  p.turn_off_monitor = u8(read_key(kAfeConfig, "TurnOffMonitor", 0));
  p.using_ini_cal_index = u8(read_key(kAfeConfig, "UsingIniCalIndex", 0));
  p.ad_level_percent = u8(read_key(kAfeConfig, "AD_Level%", 0));
  const int signal_level = read_key(kAfeConfig, "SignalLevel", 255);
  const int noise_resist = read_key(kAfeConfig, "NoiseResist", 255);
  p.check_reg_info = u8(read_key(kAfeConfig, "CheckRegInfo", 0));

  // The signal level sets both output limits.
  if (signal_level != 0 && signal_level != 255) {
    p.output_high = static_cast<uint16_t>(static_cast<uint32_t>(signal_level) * 20u);
  }
  p.output_low = p.output_high;

  // An AD level (a percentage of 128) replaces the signal window as it is.
  if (p.ad_level_percent != 0) {
    p.image_signal_high = i16(p.ad_level_percent * 128 / 100);
    p.image_signal_low = i16(static_cast<int>(p.image_signal_high / 1.2));
    if (p.image_signal_low < 10) p.image_signal_low = 10;
  }

  if (noise_resist != 255) p.start_rs = static_cast<uint8_t>(15u - static_cast<unsigned>(noise_resist));

  p.working_freq_count = 0;
  for (int i = 0; i < kMaxFrequencies; ++i) {
    p.working_freq[i] = u8(read_numbered_key(kAfeConfig, "WorkingFreq", i, 0));
    if (p.working_freq[i] != 0) ++p.working_freq_count;
  }
  p.approach_signal0 = u16(read_numbered_key(kAfeConfig, "ApproachSignal", 0, 0));

  p.open_test_threshold = u16(read_key(kSensorTest, "OpenTestThreshold", 1000));
  p.short_test_threshold = u16(read_key(kSensorTest, "ShortTestThreshold", 30));
  p.open_base_value = u16(read_key(kSensorTest, "OpenBaseValue", 3000));
  p.open_test_func = static_cast<uint32_t>(read_key(kSensorTest, "OpenTestFunc", 0));
  p.open_test_get_times = u8(read_key(kSensorTest, "OpenTestGetTimes", 1));
  p.short_test_get_times = u8(read_key(kSensorTest, "ShortTestGetTimes", 1));
  p.mutual_cap_test_get_times = u8(read_key(kSensorTest, "MutualCapTestGetTimes", 1));
}

}  // namespace

TunerPtr load_tuning_file(const char* path) {
  TunerPtr tuner = create_tuner();
  if (!tuner) return tuner;
  if (path == nullptr || ini_open(path, false) == nullptr) {
    out_printf("File: %s dose not exist\n", path != nullptr ? path : "");
    return tuner;
  }
  read_tuning_keys(*tuner);
  ini_close();
  return tuner;
}

}  // namespace tmode
