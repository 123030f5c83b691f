// The Tuner: the tuning and test object of one front-end operation. It is
// created at the start of the operation (create_tuner, or load_tuning_file
// with a tuning parameter file) and destroyed on every path out of it: a
// TunerPtr owns it, and destroying it closes the trace stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>

#include "paramfile/block_layout.h"
#include "tuning/frequency_table.h"
#include "tuning/stability_settings.h"
#include "tuning/tuning_parameters.h"

namespace tmode {

inline constexpr int kRawTableLines = 132;
inline constexpr int kRawTableColumns = 172;
inline constexpr int kTunerPathSize = 512;

// The working tables of one working frequency. Scaling values are held 4
// below the value stored in the frequency block; RS values are held shifted
// left by 4.
struct WorkingFrequency {
  uint8_t clock_source;
  uint8_t prescaler;
  uint8_t image_scaling;
  uint8_t delay[kImageChannels];
  uint8_t gain_b[kImageChannels];
  uint8_t gain_a[kImageChannels];
  uint8_t rs[kImageChannels];
  uint8_t gain_d[kImageChannels];
  uint8_t sl_scaling;
  uint8_t sl_delay;
  uint8_t sl_gain_b;
  uint8_t sl_gain_a;
  uint8_t sl_rs;
  uint8_t sl_gain_d;
};

inline constexpr int kAdjustRsValues = 16;
inline constexpr int kAdjustGainAValues = 16;

// One entry of the adjustment results table: the peaks measured for a
// target, RS and GainA while the signal window may still be adjusted.
struct AdjustmentResult {
  int16_t low;
  int16_t high;
  uint8_t valid;
};

struct WaterGroup {
  uint8_t count_in_water;
  uint8_t count_in_last_group;
  uint8_t overlap;
};

struct Tuner {
  Tuner() = default;
  Tuner(const Tuner&) = delete;
  Tuner& operator=(const Tuner&) = delete;
  ~Tuner();

  // Parameter images: the Tuner's own blocks, its working sensor
  // configuration and frequency blocks, and the two version bytes that a
  // saved block carries in bytes 6 and 7.
  uint8_t hardware_block[kHardwareBlockSize] = {};
  uint8_t software_block[kSoftwareBlockSize] = {};
  SensorConfiguration config = {};
  FrequencyBlock frequency_blocks[kMaxFrequencies] = {};
  uint8_t parameter_version[2] = {0, 1};

  // Working tables.
  WorkingFrequency working[kMaxFrequencies] = {};
  uint8_t frequency_count = 0;
  uint8_t frequency_preset_option = 0;
  uint8_t cal_vref[kMaxSensingChips] = {128, 128, 128, 128};
  uint8_t cal_range[kMaxSensingChips] = {15, 15, 15, 15};

  // Working-frequency selection. The active table is file_frequencies when
  // register_file_frequencies built it, else the Cpu_Speed table.
  FrequencyEntry file_frequencies[kMaxFrequencies] = {};
  uint8_t file_frequency_count = 0;
  uint8_t registered_frequencies = 0;  // working frequencies registered so far
  bool adjust_window = true;  // cleared after the first registered frequency
  AdjustmentResult adjustment_results[kImageChannels][kAdjustRsValues][kAdjustGainAValues] = {};
  uint8_t frequency_template[16] = {};  // chip register 0 during selection
  uint8_t gain_d_codes[8] = {0, 0, 3, 7, 10, 29, 0, 0};  // GainD -> register-136 byte 2 code

  // Tuning settings and state.
  TuningParameters params;
  uint8_t controller_level = 0;
  bool model_group_1 = false;
  bool model_group_2 = false;
  bool model_group_3 = false;
  // Set when a calibration run starts: newer controllers calibrate by their
  // reference measurement.
  bool use_reference_calibration = false;
  int16_t chip_targets[kMaxSensingChips] = {};  // per-chip calibration targets
  uint8_t auto_target_done = 0;
  uint8_t ignored_rx[16] = {};
  uint8_t ignored_rx_count = 0;
  uint8_t approach_tolerance = 0;
  WaterGroup water_groups[2] = {};
  uint8_t overlap = 0;
  uint8_t result_flags[3] = {};
  int32_t tx_count = 0;  // driving lines of the sensor configuration
  char run_mode[32] = {};  // "autotune", "testandtune", "adjust_ts", ...

  // Test settings.
  uint32_t test_selection = 7;  // bit 0 open, bit 1 short, bit 2 mutual capacitance
  int32_t open_test_channel = 0;
  int32_t open_test_values[6] = {};
  int32_t short_test_argument = 0;
  int32_t mutual_cap_argument = 0;  // the mutual-capacitance repeat count
  int32_t mutual_cap_values[3] = {};  // threshold, last-Rx tolerance, corner tolerance
  int32_t mutual_cap_threshold = 0;  // the threshold in force
  uint16_t open_scaling = 0;
  uint8_t tx_sign_marker[2] = {};  // 1, '+': the short test prints Tx values negated
  uint16_t mutual_scaling = 0;
  BiasTestSettings bias;
  StableTestSettings stable;
  uint8_t failed_rx[kFailedRxMarks] = {};  // 1: the Rx line failed the bias or stable test
  uint8_t mark_only = 0;  // 1: the bias and stable tests only mark failing lines

  int16_t raw_table[kRawTableLines][kRawTableColumns] = {};

  // Trace: the log stream (the main log while open), owned by the Tuner.
  FILE* log_stream = nullptr;
  bool log_open = false;
  clock_t trace_start = 0;

  bool short_layout = false;  // shortens the text files and some trace lines
  char default_parameter_path[kTunerPathSize] = {};  // empty: no fallback file
  uint8_t driver_version[2] = {};  // shown by print_structure_versions
};

using TunerPtr = std::unique_ptr<Tuner>;

// A Tuner with its initial values; null when it cannot be allocated.
TunerPtr create_tuner();

}  // namespace tmode
