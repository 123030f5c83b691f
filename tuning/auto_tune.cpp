#include "tuning/auto_tune.h"

#include <cstdio>
#include <cstring>

#include "link/output_sink.h"
#include "tuning/calibration.h"
#include "tuning/calibration_targets.h"
#include "tuning/frequency_table.h"
#include "tuning/phase_signal.h"
#include "tuning/tuning_result.h"
#include "tuning/working_frequencies.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

constexpr uint8_t kImageGainD = 3;
constexpr uint8_t kDefaultHostClock = 130;
constexpr uint8_t kPresetHostClock = 69;

// Prints the failing stage's line; the run's result.
int fail(const char* line) {
  out_puts(line);
  return 0;
}

bool host_clock_kept(const Tuner& tuner, uint8_t clock) {
  if (clock == 65 || clock == 130 || clock == 195) return true;
  return clock == kPresetHostClock && tuner.frequency_preset_option == 1;
}

// The image signal adjustment: GainD 3 everywhere, then scaling and GainB.
int adjust_image_signal(Tuner& tuner) {
  for (WorkingFrequency& w : tuner.working) std::memset(w.gain_d, kImageGainD, sizeof w.gain_d);
  return adjust_scaling_and_gain_b(tuner, false, true);
}

// One pass of front/end, phase and signal adjustment of the image; the
// working-frequency count goes into the sensor configuration with it.
int adjust_image(Tuner& tuner) {
  if (select_working_frequencies(tuner, tuner.params.image_signal_high, tuner.params.image_signal_low) == 0) {
    return fail("Front/End Adjustment Fail...");
  }
  tuner.config.bytes[cfg::kFrequencyCount] = tuner.frequency_count;
  if (!adjust_delay_counts(tuner, false)) return fail("Phase Adjustment Fail...");
  if (!adjust_image_signal(tuner)) return fail("Signal Adjustment Fail...");
  return 1;
}

}  // namespace

void apply_frequency_preset(Tuner& tuner) {
  uint8_t* c = tuner.config.bytes;
  int size = 0;
  frequency_table(c[cfg::kCpuSpeed], &size);
  TuningParameters& p = tuner.params;
  if (p.start_of_freq > size - 1) {
    p.start_of_freq = static_cast<uint8_t>(size - 1);
    p.nums_of_freq = 1;
  } else if (p.nums_of_freq > size - p.start_of_freq) {
    p.nums_of_freq = static_cast<uint8_t>(size - p.start_of_freq);
  }
  if (!host_clock_kept(tuner, c[cfg::kCpuHostClock])) c[cfg::kCpuHostClock] = kDefaultHostClock;
}

int auto_tune_image(Tuner& tuner) {
  tuner.auto_target_done = 0;
  if (!validate_parameters(tuner)) return fail("Validate Parameter Fail...");
  apply_frequency_preset(tuner);
  if ((tuner.params.tune_flags & kImageTune) == 0) {
    out_puts("Disable Image Tune");
    load_working_tables(tuner, 0);
    return 1;
  }
  apply_signal_preset(tuner);
  if (!calibrate(tuner, tuner.params.cal_index, 2)) return fail("Calibration Fail...");
  // Working frequencies the file names but the table lacks leave nothing
  // to select from.
  if (tuner.params.working_freq_count != 0 && !register_file_frequencies(tuner)) {
    return fail("Front/End Adjustment Fail...");
  }
  for (;;) {
    if (!adjust_image(tuner)) return 0;
    if (tuner.params.auto_cal_target == 0 || tuner.auto_target_done) break;
    choose_calibration_targets(tuner);
    tuner.auto_target_done = 1;
    std::memset(tuner.adjustment_results, 0, sizeof tuner.adjustment_results);
  }
  finalise_frequencies(tuner);
  tuner.config.bytes[cfg::kAttr] |= 1;
  return 1;
}

int auto_tune_stray_line(Tuner& tuner) {
  if ((tuner.params.tune_flags & kStrayLineTune) == 0) {
    out_puts("Disable Stray Line Tune");
    return 1;
  }
  // The stray line is measured on the working frequencies the image stage
  // chose: its front/end adjustment has nothing left to choose and cannot
  // fail, so "SL Front/End Adjustment Fail..." is never printed.
  if (!adjust_delay_counts(tuner, true)) return fail("SL Phase Adjustment Fail...");
  if (!adjust_gain_d(tuner, true)) return fail("GainD Adjustment Fail...");
  if (!adjust_scaling_and_gain_b(tuner, true, true)) return fail("SL Signal Adjustment Fail...");
  return 1;
}

int readjust_signal(Tuner& tuner) {
  if (!load_working_tables(tuner, 0)) return fail("Signal Adjustment Fail...");
  if ((tuner.params.tune_flags & kImageTune) != 0) {
    if (!adjust_image_signal(tuner)) return fail("Signal Adjustment Fail...");
    finalise_frequencies(tuner);
  } else if ((tuner.params.tune_flags & kStrayLineTune) != 0) {
    if (!adjust_scaling_and_gain_b(tuner, true, true)) return fail("Signal Adjustment Fail...");
  }
  return 1;
}

int count_water_tx(Tuner& tuner) {
  out_puts("Calculate number of Tx in water");
  load_working_tables(tuner, 0);
  const int lines = driving_line_count(tuner.config);
  std::memset(tuner.water_groups, 0, sizeof tuner.water_groups);
  out_printf("Nums Of TX = %d, Numbers of Over lap = %d\n", lines, tuner.overlap);
  return 1;
}

}  // namespace tmode
