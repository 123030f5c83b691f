#include "tester/test_operations.h"

#include <cstring>
#include <optional>

#include "diagnostics/bias_test.h"
#include "diagnostics/open_short_tests.h"
#include "diagnostics/stable_test.h"
#include "diagnostics/tuner_mutual_cap.h"
#include "link/output_sink.h"
#include "maintenance/test_commands.h"
#include "paramfile/hardware_block_pack.h"
#include "protocol/direct_commands.h"
#include "tester/tuner_log.h"
#include "tester/tuner_preparation.h"
#include "tuning/calibration.h"
#include "tuning/tuning_file.h"

namespace tmode {

namespace {

constexpr int kBiasTestBit = 0x80;
constexpr int kStableTestBit = 0x800;
constexpr int kOpenTestSelected = 0x1;
constexpr int kShortTestSelected = 0x2;
constexpr int kMutualCapTestSelected = 0x4;
// Frames per phase of the bias test when the Tuner names none: enough for
// a spread to show.
constexpr uint8_t kDefaultBiasFrames = 4;

bool hardware_loaded(Tuner& tuner) {
  if (load_hardware_block_from_controller(tuner) != 0) return true;
  out_puts("Load hardware parameter fail!");
  return false;
}

// The two entry points "OpenTestFunc" chooses between; both run the same
// test.
int open_test_entry(Tuner& tuner, const OpenTestValues& v) {
  return tuner_open_test(tuner, v.tx_threshold, v.rx_threshold, v.option_threshold, v.diff_tx, v.diff_rx,
                         v.edge_tolerance, v.edge_tolerance);
}

int alternative_open_test_entry(Tuner& tuner, const OpenTestValues& v) { return open_test_entry(tuner, v); }

int run_open_entry(Tuner& tuner, const OpenTestValues& values) {
  return tuner.params.open_test_func != 0 ? alternative_open_test_entry(tuner, values)
                                          : open_test_entry(tuner, values);
}

// A frame that an earlier operation left marked ready belongs to another
// Tuner: the frame reads would hand it over at once, as if just read, with
// this Tuner's empty raw table. Every run starts and ends with the marks
// cleared.
class FreshFrames {
 public:
  FreshFrames() { clear_tuner_frame_flags(); }
  ~FreshFrames() { clear_tuner_frame_flags(); }
  FreshFrames(const FreshFrames&) = delete;
  FreshFrames& operator=(const FreshFrames&) = delete;
};

// A Tuner from the tuning file, prepared, with the hardware parameters of
// the controller; null when either fails (the reason printed).
TunerPtr tuner_for_tests(const char* tuning_file) {
  TunerPtr tuner = load_tuning_file(tuning_file);
  if (!tuner) return tuner;
  prepare_tuner(*tuner);
  if (!hardware_loaded(*tuner)) tuner.reset();
  return tuner;
}

// The index of the frequency in use, read so that the controller reports
// it before the tests run.
void read_working_frequency() {
  uint8_t index = 0;
  read_freq_index(&index);
}

// The Tuner of one test run from a tuning file, with its log open while the
// run lasts: no Tuner (and no log) when it could not be made or the
// hardware parameters could not be loaded. The log is closed, then the
// Tuner destroyed, then the frame marks cleared, on every way out.
struct TestRun {
  explicit TestRun(const char* tuning_file) : tuner(tuner_for_tests(tuning_file)) {
    if (!tuner) return;
    log.emplace(*tuner);
    read_working_frequency();
  }

  FreshFrames frames;
  TunerPtr tuner;
  std::optional<TunerLogScope> log;
};

}  // namespace

int run_calibration_tests(int, int, int controller_level, int test_bits, int bias_parameter, int stability_parameter,
                          int preset_option, int tolerance) {
  FreshFrames frames;
  int result = -1;
  TunerPtr tuner = create_tuner();
  if (!tuner) return result;
  prepare_tuner(*tuner);
  // The model groups first: unpacking the block depends on them.
  prepare_calibration(*tuner);
  if (!hardware_loaded(*tuner)) return result;
  uint8_t features[64] = {};
  query_features(0, 0, features);
  tuner->controller_level = static_cast<uint8_t>(controller_level);
  tuner->frequency_preset_option = static_cast<uint8_t>(preset_option);
  tuner->params.cal_tolerance2 = static_cast<int16_t>(tolerance);

  TunerLogScope log(*tuner);
  result = calibrate_and_store(*tuner) == 0 ? 0 : -1;
  if ((test_bits & kBiasTestBit) != 0) {
    tuner->bias.threshold = bias_parameter;
    if (tuner->bias.repeat_count == 0) tuner->bias.repeat_count = kDefaultBiasFrames;
    if (hw_bias_test(*tuner) != 0) result = -1;
  }
  if ((test_bits & kStableTestBit) != 0) {
    tuner->stable.threshold = stability_parameter;
    if (single_end_stable_test(*tuner) != 0) result = -1;
  }
  return result;
}

int run_diagnostic_tests(int, int, const char* tuning_file, int open_test_channel, const OpenTestValues& values) {
  int result = 0;
  TestRun run(tuning_file);
  if (!run.tuner) return result;
  Tuner& tuner = *run.tuner;
  tuner.open_test_channel = open_test_channel;
  // Every selected test runs, whatever the one before gave.
  if ((tuner.test_selection & kOpenTestSelected) != 0 && run_open_entry(tuner, values) == 0) result = -1;
  if ((tuner.test_selection & kShortTestSelected) != 0 && tuner_short_test(tuner) == 0) result = -1;
  if ((tuner.test_selection & kMutualCapTestSelected) != 0 && tuner_mutual_cap_test(tuner) == 0) result = -1;
  if (result == -1) {
    out_write("Diagnostic test fail");
    out_flush();
  }
  tuner_raw16_dump(tuner);
  return result;
}

int run_open_test(int, int, const char* tuning_file, int open_test_channel, const OpenTestValues& values) {
  TestRun run(tuning_file);
  if (!run.tuner) return 0;
  run.tuner->open_test_channel = open_test_channel;
  return run_open_entry(*run.tuner, values) == 0 ? -1 : 0;
}

int run_short_test(int, int, const char* tuning_file, int short_test_argument) {
  TestRun run(tuning_file);
  if (!run.tuner) return 0;
  run.tuner->short_test_argument = short_test_argument;
  return tuner_short_test(*run.tuner) == 0 ? -1 : 0;
}

int run_mutual_cap_test(int, int, const char* tuning_file, int mutual_cap_argument, const int values[3]) {
  TestRun run(tuning_file);
  if (!run.tuner) return 0;
  run.tuner->mutual_cap_argument = mutual_cap_argument;
  std::memcpy(run.tuner->mutual_cap_values, values, sizeof run.tuner->mutual_cap_values);
  const int result = tuner_mutual_cap_test(*run.tuner) == 0 ? -1 : 0;
  tuner_raw16_dump(*run.tuner);
  return result;
}

}  // namespace tmode
