// The auto-tune pipeline against the simulated panel: the stage order, its
// failure lines, the automatic targets' second pass, and a whole run whose
// packed block goes back to the controller.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "maintenance/byte_order.h"
#include "maintenance/parameter_checksums.h"
#include "paramfile/hardware_block_pack.h"
#include "sim/sensor_setup.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/auto_tune.h"
#include "tuning/tuner.h"
#include "tuning/working_frequencies.h"
#include "tuning/working_tables.h"

namespace tmode {
namespace {

using test::SimLinkTest;

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class AutoTune : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    library.model_code = 0;
    library.frame.extra_lines = 2;
  }
  // The simulated panel (16 TX, 28 RX on two chips) with its geometry in
  // the controller's hardware block, loaded into a fresh tuner with the
  // settings of a tuning file that suits the panel.
  void load(bool plateaus = false, int sensing_chips = 2) {
    sim.update([&](sim::ControllerState& s) {
      s.panel.plateaus = plateaus;
      s.panel.sensing_chips = sensing_chips;
      s.panel.calibration_constant = 900;
      sim::apply_panel_geometry(s);
    });
    tuner = create_tuner();
    ASSERT_EQ(load_hardware_block_from_controller(*tuner), 1);
    test::describe_sim_panel(tuner->config.bytes);
    trace = std::make_unique<test::TunerTrace>(*tuner);
    tuner->controller_level = 3;
    test::tune_for_sim_panel(tuner->params);
  }
  void targets(std::vector<int> t) {
    for (int i = 0; i < 7; ++i) tuner->config.bytes[cfg::cal_target(i)] = static_cast<uint8_t>(t[i]);
  }
  std::vector<int> targets() const {
    std::vector<int> out;
    for (int i = 0; i < 7; ++i) out.push_back(tuner->config.bytes[cfg::cal_target(i)]);
    return out;
  }
  int scans() const {
    int n = 0;
    for (const auto& c : sim.received_commands()) n += c[2] == '?' && c[3] == 'D';
    return n;
  }
  // Runs the pipeline with its standard output captured into `out`.
  int run() {
    testing::internal::CaptureStdout();
    const int result = auto_tune_image(*tuner);
    out = testing::internal::GetCapturedStdout();
    return result;
  }
  TunerPtr tuner;
  std::unique_ptr<test::TunerTrace> trace;
  std::string out;
};

TEST(FrequencyPreset, FitsTheTableAndTheHostClock) {
  struct Case {
    int cpu_speed, start, nums;
    int expected_start, expected_nums;
  };
  const Case cases[] = {
      {32, 50, 10, 50, 6}, {32, 60, 10, 55, 1}, {32, 55, 3, 55, 1}, {32, 56, 3, 55, 1},
      {0, 0, 10, 0, 10},   {0, 50, 10, 50, 5},  {1, 31, 2, 31, 1},  {1, 32, 2, 31, 1},
      {16, 40, 10, 40, 9}, {7, 47, 4, 47, 1},   {7, 40, 4, 40, 4},
  };
  for (const Case& c : cases) {
    TunerPtr t = create_tuner();
    t->config.bytes[cfg::kCpuSpeed] = static_cast<uint8_t>(c.cpu_speed);
    t->params.start_of_freq = static_cast<uint8_t>(c.start);
    t->params.nums_of_freq = static_cast<uint8_t>(c.nums);
    apply_frequency_preset(*t);
    EXPECT_EQ(t->params.start_of_freq, c.expected_start) << c.cpu_speed << " " << c.start;
    EXPECT_EQ(t->params.nums_of_freq, c.expected_nums) << c.cpu_speed << " " << c.start;
  }
  struct Clock {
    int value, option, expected;
  };
  const Clock clocks[] = {{65, 0, 65}, {130, 0, 130}, {195, 0, 195}, {69, 1, 69},
                          {69, 0, 130}, {0, 1, 130}, {64, 0, 130}, {196, 0, 130}};
  for (const Clock& c : clocks) {
    TunerPtr t = create_tuner();
    t->config.bytes[cfg::kCpuHostClock] = static_cast<uint8_t>(c.value);
    t->frequency_preset_option = static_cast<uint8_t>(c.option);
    apply_frequency_preset(*t);
    EXPECT_EQ(t->config.bytes[cfg::kCpuHostClock], c.expected) << c.value << " " << c.option;
  }
}

TEST_F(AutoTune, ImageTuneOffRespreadsTargetsWithoutCalibrating) {
  struct Case {
    std::vector<int> given, expected;
  };
  // 16 driving lines: 0, 1, 8 - 4, 8, 8 + 4, 14, 15.
  const Case cases[] = {
      {{0, 0, 0, 0, 0, 0, 0}, {0, 1, 4, 8, 12, 14, 15}},
      {{0, 4, 8, 12, 16, 20, 24}, {0, 1, 4, 8, 12, 14, 15}},
      {{0, 4, 8, 12, 16, 20, 25}, {0, 4, 8, 12, 16, 20, 25}},
      {{2, 6, 10, 14, 18, 22, 26}, {0, 1, 4, 8, 12, 14, 15}},
  };
  for (const Case& c : cases) {
    load();
    tuner->params.tune_flags = 0;
    targets(c.given);
    sim.clear_traffic();
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(out, "Disable Image Tune\n");
    EXPECT_EQ(targets(), c.expected);
    EXPECT_TRUE(sim.received_commands().empty()) << "nothing calibrated or written";
    EXPECT_EQ(tuner->hardware_block[6], 0);
    EXPECT_EQ(tuner->hardware_block[7], 1);
  }
}

TEST_F(AutoTune, OneDrivingLineFailsValidation) {
  load();
  uint8_t* stored = tuner->hardware_block + hw::kSensorConfiguration;
  stored[cfg::tx_end(0)] = stored[cfg::tx_start(0)];
  sim.clear_traffic();
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(out, "Validate Parameter Fail...\n");
  EXPECT_TRUE(sim.received_commands().empty());
}

TEST_F(AutoTune, EachFailingStagePrintsItsLine) {
  struct Case {
    const char* line;
    void (*setup)(Tuner& t, sim::ControllerState& s);
  };
  const Case cases[] = {
      // The calibration constant 300 cannot reach its target.
      {"Calibration Fail...", [](Tuner&, sim::ControllerState& s) { s.panel.calibration_constant = 300; }},
      // No GainA puts any target into a window far above the panel's peaks.
      {"Front/End Adjustment Fail...",
       [](Tuner& t, sim::ControllerState&) {
         t.params.image_signal_low = 120;
         t.params.image_signal_high = 127;
         t.params.start_of_freq = 50;  // the last five candidates
       }},
      // An output the measure time can never reach.
      {"Signal Adjustment Fail...",
       [](Tuner& t, sim::ControllerState&) {
         t.params.output_high = 30000;
         t.params.output_low = 30000;
         t.params.scaling_start = 0;
       }},
  };
  for (const Case& c : cases) {
    load();
    tuner->params.nums_of_freq = 1;
    Tuner& t = *tuner;
    sim.update([&](sim::ControllerState& s) { c.setup(t, s); });
    EXPECT_EQ(run(), 0) << c.line;
    const std::string last = std::string(c.line) + "\n";
    ASSERT_GE(out.size(), last.size()) << c.line;
    EXPECT_EQ(out.substr(out.size() - last.size()), last) << c.line;
    for (const char* other : {"Calibration Fail...", "Front/End Adjustment Fail...", "Phase Adjustment Fail...",
                              "Signal Adjustment Fail..."}) {
      EXPECT_EQ(count_of(out, other), other == std::string(c.line) ? 1 : 0) << c.line << " / " << other;
    }
    EXPECT_EQ(tuner->config.bytes[cfg::kAttr] & 1, 0) << c.line;
  }
}

TEST_F(AutoTune, WorkingFrequencyPastTheTableFailsTheFrontEnd) {
  load();
  tuner->params.working_freq[0] = 54;  // the last entry of the Cpu_Speed 0 table: 54 and 55 asked
  tuner->params.working_freq_count = 1;
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(count_of(out, "Front/End Adjustment Fail...\n"), 1) << out;
  EXPECT_EQ(count_of(out, "Target Validating"), 0);
}

TEST_F(AutoTune, WholeRunOnTheDefaultPanelPacksAndStoresTheBlock) {
  load();
  std::strcpy(tuner->run_mode, "autotune");
  ASSERT_EQ(run(), 1) << out;
  EXPECT_EQ(count_of(out, "Fail"), 0) << out;
  EXPECT_EQ(count_of(out, " Register a new working freq."), 2);
  EXPECT_EQ(tuner->frequency_count, 2);
  EXPECT_EQ(tuner->cal_vref[0], 128) << "the nominal constant calibrates at once";
  EXPECT_EQ(tuner->config.bytes[cfg::kAttr] & 1, 1);
  for (int f = 0; f < 2; ++f) {
    const WorkingFrequency& w = tuner->working[f];
    for (int t = 0; t < 7; ++t) {
      EXPECT_EQ(w.gain_d[t], 3) << f << " " << t;
      EXPECT_GT(w.gain_b[t], 7) << f << " " << t;
      EXPECT_LT(w.gain_b[t], 63) << f << " " << t;
      // The panel's best delay is a third of the range 3 x prescaler.
      EXPECT_NEAR(w.delay[t], w.prescaler, 1) << f << " " << t;
    }
  }

  ASSERT_EQ(pack_hardware_block(*tuner, tuner->hardware_block), 1);
  ASSERT_EQ(store_hardware_block(*tuner), 1);
  const std::vector<uint8_t> stored = sim.state().parameters.committed[1];
  ASSERT_EQ(stored.size(), 2048u);
  EXPECT_EQ(std::memcmp(stored.data(), tuner->hardware_block, 2048), 0);
  const uint8_t* c = stored.data() + 8;
  EXPECT_EQ(c[0] & 1, 1);
  EXPECT_EQ(c[9], 2) << "two working frequencies";
  EXPECT_EQ(c[55], 30) << "TouchSignal from ImageTouchSignal";
  EXPECT_EQ(read_le16(c + 28), 3000) << "RefRSIndex";
  for (int f = 0; f < 2; ++f) {
    const uint8_t* fb = stored.data() + 400 + 90 * f;
    EXPECT_EQ(fb[3], tuner->working[f].prescaler & 127) << f;
    EXPECT_EQ(fb[5], tuner->working[f].image_scaling + 4) << f;
    for (int t = 0; t < 7; ++t) {
      EXPECT_EQ(fb[13 + 6 * t], tuner->working[f].delay[t]) << f << " " << t;
      EXPECT_EQ(fb[14 + 6 * t], tuner->working[f].gain_b[t]) << f << " " << t;
      EXPECT_EQ(fb[18 + 6 * t], 3) << f << " " << t;
    }
  }
}

TEST_F(AutoTune, AutomaticTargetsRunTheStagesTwiceFromAClearedTable) {
  // Three plateaus of driving lines, and one sensing chip: with two, the
  // first two targets share their bytes with the second chip's RX range.
  load(true, 1);
  targets({0, 13, 3, 5, 8, 10, 15});
  tuner->params.auto_cal_target = 1;
  ASSERT_EQ(run(), 1) << out;
  EXPECT_EQ(tuner->auto_target_done, 1);
  EXPECT_EQ(targets(), (std::vector<int>{0, 1, 3, 6, 11, 14, 15}));
  // The first pass stops selecting at the first working frequency and
  // adjusts phase and signal on it; the second selects both.
  EXPECT_EQ(count_of(out, " Register a new working freq."), 3) << out;
  EXPECT_EQ(count_of(out, " Total available working frequencies = "), 1) << out;
  EXPECT_EQ(count_of(out, "Freq=0, Target=0 / TX=00, Delay="), 2) << out;
  EXPECT_EQ(count_of(out, "Freq=1, Target=0 / TX=00, Delay="), 1) << out;
  EXPECT_EQ(count_of(out, "Freq=0, Target=6, Scaling="), 2) << out;
  EXPECT_EQ(tuner->frequency_count, 2);

  // The results table holds exactly what a second pass alone records with
  // the chosen targets: nothing of the first pass is left in it.
  TunerPtr alone = create_tuner();
  std::memcpy(alone->hardware_block, tuner->hardware_block, sizeof alone->hardware_block);
  alone->config = tuner->config;
  alone->params = tuner->params;
  alone->auto_target_done = 1;
  std::memcpy(alone->cal_vref, tuner->cal_vref, sizeof alone->cal_vref);
  std::memcpy(alone->cal_range, tuner->cal_range, sizeof alone->cal_range);
  alone->config.bytes[cfg::kImageWaveSignal] = tuner->config.bytes[cfg::kImageWaveSignal];
  testing::internal::CaptureStdout();
  ASSERT_EQ(select_working_frequencies(*alone, tuner->params.image_signal_high, tuner->params.image_signal_low), 2);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::memcmp(alone->adjustment_results, tuner->adjustment_results, sizeof alone->adjustment_results), 0);
}

TEST_F(AutoTune, ReadjustSignalStrayLineAndWaterCount) {
  load();
  tuner->params.nums_of_freq = 1;
  ASSERT_EQ(run(), 1) << out;
  ASSERT_EQ(pack_hardware_block(*tuner, tuner->hardware_block), 1);
  // From the packed block, readjusting the signal reaches the output
  // window again although the working GainB was lost.
  const int gain_b = tuner->working[0].gain_b[0];
  tuner->working[0].gain_b[0] = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(readjust_signal(*tuner), 1);
  const std::string readjusted = testing::internal::GetCapturedStdout();
  EXPECT_EQ(count_of(readjusted, "Fail"), 0) << readjusted;
  EXPECT_NEAR(tuner->working[0].gain_b[0], gain_b, 2);

  testing::internal::CaptureStdout();
  EXPECT_EQ(auto_tune_stray_line(*tuner), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Disable Stray Line Tune\n");
  tuner->params.tune_flags |= kStrayLineTune;
  tuner->params.sl_touch_signal = 30;
  // The shipped block's stray-line GainA and RS of 0 give a peak far above
  // MaxSignalHigh: the GainD stage fails the run.
  testing::internal::CaptureStdout();
  EXPECT_EQ(auto_tune_stray_line(*tuner), 0);
  std::string stray = testing::internal::GetCapturedStdout();
  EXPECT_EQ(stray.substr(stray.size() - 26), "\nGainD Adjustment Fail...\n") << stray;
  // With the tuning file's stray-line defaults and a ceiling above the
  // peak every stage passes.
  tuner->params.max_signal_high = 30000;
  for (WorkingFrequency& w : tuner->working) {
    w.sl_gain_a = 15;
    w.sl_rs = 8 << 4;
    w.sl_gain_b = 16;
    w.sl_delay = 12;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(auto_tune_stray_line(*tuner), 1);
  stray = testing::internal::GetCapturedStdout();
  EXPECT_EQ(count_of(stray, "Fail"), 0) << stray;

  tuner->overlap = 3;
  tuner->water_groups[1].count_in_water = 9;
  testing::internal::CaptureStdout();
  EXPECT_EQ(count_water_tx(*tuner), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Calculate number of Tx in water\nNums Of TX = 16, Numbers of Over lap = 3\n");
  EXPECT_EQ(tuner->water_groups[1].count_in_water, 0);
}

}  // namespace
}  // namespace tmode
