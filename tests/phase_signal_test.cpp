// Phase and signal adjustment against the simulated sensor, whose best
// sampling delay is a third of the delay range and whose output grows with
// the measure time GainB.
#include <gtest/gtest.h>

#include <string>

#include "maintenance/byte_order.h"
#include "maintenance/parameter_checksums.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/frame_capture.h"
#include "tuning/front_end.h"
#include "paramfile/hardware_block_pack.h"
#include "tuning/phase_signal.h"
#include "tuning/working_tables.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

using test::SimLinkTest;

class PhaseSignal : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    tuner = create_tuner();
    test::describe_sim_panel(tuner->config.bytes);
    test::tune_for_sim_panel(tuner->params);
    // One working frequency: divider 0, prescaler 12 (36 delay steps; the
    // panel's best delay is 12), GainA 9, RS 15, GainD 3.
    tuner->frequency_count = 1;
    WorkingFrequency& w = tuner->working[0];
    w.clock_source = 0;
    w.prescaler = 12;
    for (int t = 0; t < kImageChannels; ++t) {
      w.gain_a[t] = 9;
      w.rs[t] = 0xF0;
      w.gain_d[t] = 3;
      w.delay[t] = 12;
    }
  }
  TunerPtr tuner;
};

TEST(GainD, MultiplierRepeatsAfterFour) {
  const int expected[8] = {1, 4, 8, 16, 1, 4, 8, 16};
  for (int g = 0; g < 8; ++g) EXPECT_EQ(gain_d_multiplier(g), expected[g]) << g;
  EXPECT_EQ(gain_d_multiplier(12), 1) << "GainD & 7";
}

TEST_F(PhaseSignal, DelayCountsFindTheBestPhase) {
  struct Case {
    int mode;
    int prescaler;
    int expected_delay;
  };
  // Mode 1 moves to the later delay within 10 % of the best value whose
  // spread is smallest; prescaler 18 gives 54 steps (best 18).
  const Case cases[] = {{0, 12, 12}, {1, 12, 13}, {0, 18, 18}};
  for (const Case& c : cases) {
    tuner->params.delay_select_mode = static_cast<uint8_t>(c.mode);
    tuner->working[0].prescaler = static_cast<uint8_t>(c.prescaler);
    sim.clear_traffic();
    testing::internal::CaptureStdout();
    ASSERT_EQ(adjust_delay_counts(*tuner, false), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    for (int t = 0; t < kImageChannels; ++t) EXPECT_EQ(tuner->working[0].delay[t], c.expected_delay) << t;
    char line[80];
    std::snprintf(line, sizeof line, "Freq=0, Target=0 / TX=00, Delay=%03d, Value=", c.expected_delay);
    EXPECT_NE(out.find(line), std::string::npos) << out;
    if (c.mode == 1) {
      EXPECT_NE(out.find("Target=0, Delay=012\n"), std::string::npos) << out;
    }
    int scans = 0;
    for (const auto& p : sim.received_commands()) {
      if (p[2] == '?' && p[3] == 'D') ++scans;
    }
    EXPECT_EQ(scans, kImageChannels * 3 * c.prescaler) << "one scan per delay step and target";
  }
}

TEST_F(PhaseSignal, DelaySelectModeOneWithoutMarginKeepsTheBest) {
  // Rows of 5: a margin of 5 x 10 / 100 = 0 admits no delay.
  sim.add_fault(sim::row_reads_answer(5));
  tuner->params.delay_select_mode = 1;
  testing::internal::CaptureStdout();
  ASSERT_EQ(adjust_delay_counts(*tuner, false), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(tuner->working[0].delay[0], 0);
}

TEST_F(PhaseSignal, ScalingAndGainBReachTheOutputWindow) {
  testing::internal::CaptureStdout();
  ASSERT_EQ(adjust_scaling_and_gain_b(*tuner, false, true), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  const WorkingFrequency& w = tuner->working[0];
  EXPECT_GE(w.image_scaling, 3);
  for (int t = 0; t < kImageChannels; ++t) {
    EXPECT_GT(w.gain_b[t], 7) << t;
    EXPECT_LT(w.gain_b[t], 63) << t;
  }
  char line[80];
  std::snprintf(line, sizeof line, "Freq=0, Target=0, Scaling=%d, GainB=%d, Value=", w.image_scaling + 4, w.gain_b[0]);
  EXPECT_NE(out.find(line), std::string::npos) << out;
  EXPECT_NE(out.find("Target = 6, Target Output = "), std::string::npos);
}

TEST_F(PhaseSignal, SensingCycleTooHigh) {
  tuner->params.output_high = 30000;
  tuner->params.output_low = 30000;
  tuner->params.scaling_start = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(adjust_scaling_and_gain_b(*tuner, false, true), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_GE(tuner->working[0].gain_b[0], 63) << "MaximumMeasureTime - 1 or above";
  const std::string tail = "\nSensing cycle too high, please modify NoiseMargin and fine tune again";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(PhaseSignal, SensingChipsSetUpPerChip) {
  tuner->cal_vref[0] = 120;
  tuner->cal_vref[1] = 140;
  tuner->cal_range[0] = 7;
  tuner->cal_range[1] = 6;
  const uint8_t rs[2] = {0xF0, 0xA0};
  ASSERT_EQ(set_up_sensing_chips(*tuner, 20, rs, 33, 0x5A, 0x10, 3), 1);
  const auto s = sim.state();
  const uint8_t expected[2][4] = {{0x80, 0x58, 0xF4, 120}, {0x80, 0x58, 0xA4, 140}};
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.registers.chips[c][5 + i], expected[c][i]) << c << " " << i;
    EXPECT_EQ(s.registers.chips[c][11], 0x80 | 33);
    EXPECT_EQ(s.registers.chips[c][139], 0x5A);
  }
  EXPECT_EQ(s.registers.chips[0][1], 0x73);
  EXPECT_EQ(s.registers.chips[1][1], 0x63);
  sim.update([](sim::ControllerState& st) { st.panel.defects.dead_chip = 1; });
  EXPECT_EQ(set_up_sensing_chips(*tuner, 9, rs, 12, 0, 0, 0), 0);
}

TEST_F(PhaseSignal, GainDPeakAgainstMaxSignalHigh) {
  tuner->params.image_signal_high = 50;
  tuner->params.image_signal_low = 35;
  testing::internal::CaptureStdout();
  EXPECT_EQ(adjust_gain_d(*tuner, false), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Get single Peak\nGet diff Peak\nFreqNo=0, TX=0, SRS=F0, GainA=09, GainD=02, PeakC=", 0), 0u) << out;
  EXPECT_EQ(tuner->params.image_signal_high, 45);
  EXPECT_EQ(tuner->params.image_signal_low, 30);

  tuner->params.max_signal_high = 30000;
  testing::internal::CaptureStdout();
  EXPECT_EQ(adjust_gain_d(*tuner, false), 1);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("GainD=0x02\n"), std::string::npos);
  for (int t = 0; t < kImageChannels; ++t) EXPECT_EQ(tuner->working[0].gain_d[t], 2) << t;
}

TEST_F(PhaseSignal, WorkingTablesComeBackFromThePackedBlock) {
  uint8_t* c = tuner->config.bytes;
  c[cfg::kFrequencyCount] = 1;
  WorkingFrequency& w = tuner->working[0];
  w.image_scaling = 5;
  for (int t = 0; t < kImageChannels; ++t) {
    w.delay[t] = static_cast<uint8_t>(10 + t);
    w.gain_b[t] = static_cast<uint8_t>(20 + t);
    w.gain_d[t] = static_cast<uint8_t>(t % 4);
  }
  tuner->cal_vref[1] = 111;
  tuner->cal_range[1] = 13;
  ASSERT_EQ(pack_hardware_block(*tuner, tuner->hardware_block), 1);
  const WorkingFrequency before = tuner->working[0];
  tuner->working[0] = WorkingFrequency{};
  tuner->cal_vref[1] = 0;
  ASSERT_EQ(load_working_tables(*tuner, 0), 1);
  const WorkingFrequency& after = tuner->working[0];
  EXPECT_EQ(after.image_scaling, 5);
  EXPECT_EQ(after.prescaler, before.prescaler);
  for (int t = 0; t < kImageChannels; ++t) {
    EXPECT_EQ(after.delay[t], before.delay[t]);
    EXPECT_EQ(after.gain_b[t], before.gain_b[t]);
    EXPECT_EQ(after.gain_a[t], before.gain_a[t]);
    EXPECT_EQ(after.gain_d[t], before.gain_d[t]);
    EXPECT_EQ(after.rs[t], 0xF0);
  }
  EXPECT_EQ(tuner->cal_vref[1], 111);
  EXPECT_EQ(tuner->cal_range[1], 13);
  EXPECT_EQ(tuner->config.bytes[cfg::cal_target(6)], 15) << "targets kept";
}

TEST(ValidateParameters, TargetsRespreadAndTooFewDrivingLines) {
  struct Case {
    uint8_t targets[7];
    uint8_t expected[7];
  };
  // 20 driving lines: 0, 1, 10 - 5, 10, 15, 18, 19.
  const Case cases[] = {
      {{0, 0, 0, 0, 0, 0, 0}, {0, 1, 5, 10, 15, 18, 19}},
      {{0, 4, 8, 12, 16, 20, 24}, {0, 1, 5, 10, 15, 18, 19}},
      {{0, 4, 8, 12, 16, 20, 25}, {0, 4, 8, 12, 16, 20, 25}},
  };
  for (const Case& k : cases) {
    TunerPtr t = create_tuner();
    uint8_t* stored = t->hardware_block + hw::kSensorConfiguration;
    stored[cfg::kDrivingChips] = 1;
    stored[cfg::tx_start(0)] = 0;
    stored[cfg::tx_end(0)] = 19;
    for (int i = 0; i < 7; ++i) t->config.bytes[cfg::cal_target(i)] = k.targets[i];
    ASSERT_EQ(validate_parameters(*t), 1);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(t->config.bytes[cfg::cal_target(i)], k.expected[i]) << i;
  }
  TunerPtr t = create_tuner();
  uint8_t* stored = t->hardware_block + hw::kSensorConfiguration;
  stored[cfg::kDrivingChips] = 1;
  stored[cfg::tx_start(0)] = 5;
  stored[cfg::tx_end(0)] = 5;
  EXPECT_EQ(validate_parameters(*t), 0) << "one driving line";
  stored[cfg::tx_end(0)] = 6;
  EXPECT_EQ(validate_parameters(*t), 1) << "two driving lines";
}

TEST_F(PhaseSignal, NoiseChannelAndApproachSignals) {
  for (int t = 0; t < kImageChannels; ++t) tuner->working[0].gain_b[t] = 16;
  tuner->working[0].gain_d[6] = 1;
  finalise_frequencies(*tuner);
  const uint8_t* fb = tuner->hardware_block + hw::frequency_block(0);
  EXPECT_EQ(fb[freq::kNoiseScaling], 15);
  EXPECT_EQ(fb[freq::kNoiseGroup + freq::kGainB], 10);
  EXPECT_EQ(fb[freq::kNoiseGroup + freq::kGainD], 1) << "target 6 (TX 15) reads highest";

  tuner->config.bytes[cfg::kFrequencyCount] = 1;
  ASSERT_EQ(pack_hardware_block(*tuner, tuner->hardware_block), 1);
  testing::internal::CaptureStdout();
  ASSERT_EQ(measure_approach_signals(*tuner), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("IC0 ApproachSignal = "), std::string::npos) << out;
  EXPECT_NE(out.find("IC1 ApproachSignal = "), std::string::npos) << out;
  const uint8_t* c = tuner->hardware_block + hw::kSensorConfiguration;
  EXPECT_GT(read_le16(c + cfg::approach_signal(0)), 29);
  EXPECT_EQ(c[cfg::kApproachTolerance], 3);
  EXPECT_EQ(read_le16(tuner->hardware_block + 2), hardware_block_checksum(tuner->hardware_block, 2048));

  sim.add_fault(sim::row_reads_answer(29));
  testing::internal::CaptureStdout();
  EXPECT_EQ(measure_approach_signals(*tuner), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("\nError: RAW data is too low."), std::string::npos);
}

}  // namespace
}  // namespace tmode
