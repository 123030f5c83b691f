// Working-frequency selection against the simulated sensor: the frequency
// tables, the TX waveform, the RS values of the chips, the GainA search and
// the whole selection, one delay at a time and with the all-delays scan.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "maintenance/byte_order.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/front_end.h"
#include "tuning/frequency_table.h"
#include "tuning/tuner.h"
#include "tuning/working_frequencies.h"

namespace tmode {
namespace {

using test::SimLinkTest;

// The simulator's default panel: 16 TX lines, 28 RX lines on two chips.
void configure_default_panel(Tuner& t) {
  test::describe_sim_panel(t.config.bytes);
  TuningParameters& p = t.params;
  p.image_signal_low = 35;
  p.image_signal_high = 50;
  p.signal_tolerance = 2;
  p.start_gain_a = 17;
  p.start_rs = 15;
  p.nums_of_freq = 2;
  p.start_of_freq = 0;
  p.ignore_nums_of_rx = 2;
}

TEST(FrequencyTables, FirstEntriesSizesAndFrequencies) {
  struct Case {
    uint8_t cpu_speed;
    int size;
    double first_khz;
  };
  const Case cases[] = {{0, 55, 266.667}, {1, 32, 222.222}, {16, 49, 238.095}, {32, 56, 250.0}, {7, 48, 250.0}};
  for (const Case& c : cases) {
    TunerPtr t = create_tuner();
    t->config.bytes[cfg::kCpuSpeed] = c.cpu_speed;
    int size = 0;
    const FrequencyEntry* table = frequency_table(c.cpu_speed, &size);
    EXPECT_EQ(size, c.size);
    EXPECT_NEAR(frequency_khz(*t, table[0].divider, table[0].prescaler), c.first_khz, 0.001) << int(c.cpu_speed);
  }
  TunerPtr t = create_tuner();
  EXPECT_NEAR(frequency_khz(*t, 3, 25), 96000.0 / (48 * 25), 1e-9);  // last entry of Cpu_Speed 0
}

TEST(FrequencyTables, FileFrequenciesFollowTheGivenIndices) {
  TunerPtr t = create_tuner();
  t->params.working_freq[0] = 5;
  t->params.working_freq[1] = 9;
  t->params.working_freq_count = 2;
  t->params.nums_of_freq = 4;
  t->params.start_of_freq = 7;
  ASSERT_EQ(register_file_frequencies(*t), 1);
  int size = 0;
  const FrequencyEntry* table = active_frequency_table(*t, &size);
  ASSERT_EQ(size, 4);
  const int expected[][2] = {{1, 13}, {1, 15}, {2, 13}, {0, 19}};  // entries 5, 9, 10, 11
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(table[i].divider, expected[i][0]) << i;
    EXPECT_EQ(table[i].prescaler, expected[i][1]) << i;
  }
  EXPECT_EQ(t->params.start_of_freq, 0);

  // Entry 53 and 54 exist, 55 does not: refused, table kept.
  t->params.working_freq[0] = 53;
  t->params.working_freq_count = 1;
  t->params.nums_of_freq = 2;
  EXPECT_EQ(register_file_frequencies(*t), 1);
  t->params.nums_of_freq = 3;
  EXPECT_EQ(register_file_frequencies(*t), 0);
  active_frequency_table(*t, &size);
  EXPECT_EQ(size, 2);
}

TEST(FrontEnd, SeriesSineAndRsValues) {
  for (double x : {0.0, 0.5, 1.5708, 3.1416}) EXPECT_NEAR(series_sine(x), std::sin(x), 1e-12) << x;

  TunerPtr t = create_tuner();
  uint8_t* c = t->config.bytes;
  c[cfg::kSensingChips] = 3;
  write_le16(c + cfg::kRefRsIndex, 3000);
  write_le16(c + cfg::r_ratio(0), 3000);  // ratio 1: RS itself
  write_le16(c + cfg::r_ratio(1), 1500);  // ratio 0.5: RS / 2 + 8.1, rounded half up
  write_le16(c + cfg::r_ratio(2), 0);     // ratio 0: 16.2, clamped to 15
  struct Case {
    int rs;
    uint8_t chip0, chip1, chip2;
  };
  const Case cases[] = {{15, 0xF0, 0xF0, 0xF0}, {0, 0x00, 0x80, 0xF0}, {2, 0x20, 0x90, 0xF0}, {3, 0x30, 0xA0, 0xF0}};
  for (const Case& k : cases) {
    uint8_t out[4] = {};
    rs_values_for(*t, k.rs, out);
    EXPECT_EQ(out[0], k.chip0) << k.rs;
    EXPECT_EQ(out[1], k.chip1) << k.rs;
    EXPECT_EQ(out[2], k.chip2) << k.rs;
  }
  write_le16(c + cfg::kRefRsIndex, 0);  // no division by zero: ratio 1
  uint8_t out[4] = {};
  rs_values_for(*t, 4, out);
  EXPECT_EQ(out[1], 0x40);
}

class WorkingFrequencies : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    tuner = create_tuner();
    configure_default_panel(*tuner);
  }
  int select() {
    return select_working_frequencies(*tuner, tuner->params.image_signal_high, tuner->params.image_signal_low);
  }
  TunerPtr tuner;
};

TEST_F(WorkingFrequencies, WaveformLengthAndReadBack) {
  // Factor 3 and prescaler 40: 120 bytes, more than register 144 on holds.
  const size_t before = sim.received_count();
  EXPECT_EQ(program_tx_waveform(*tuner, 60, 3, 40, false), 0);
  EXPECT_EQ(sim.received_count(), before) << "nothing written";

  ASSERT_EQ(program_tx_waveform(*tuner, 60, 3, 12, false), 1);
  const auto chip = sim.state().registers.chips[1];
  EXPECT_EQ(chip[144], 0);
  EXPECT_EQ(chip[144 + 18], 59);  // 60 x sin(3.1416 / 2), truncated
  EXPECT_EQ(chip[144 + 5], 25);   // 60 x sin(3.1416 x 5 / 36)
  ASSERT_EQ(program_tx_waveform(*tuner, 60, 0, 5, true), 1);  // factor 0 counts 3, prescaler 12 at least
  EXPECT_EQ(sim.state().registers.chips[0][144 + 35], 60);

  sim.update([](sim::ControllerState& s) { s.panel.defects.corrupt_waveform_reads = 3; });
  EXPECT_EQ(program_tx_waveform(*tuner, 60, 3, 12, false), 1) << "rewritten until it reads back";
  sim.update([](sim::ControllerState& s) { s.panel.defects.corrupt_waveform_reads = 22; });
  EXPECT_EQ(program_tx_waveform(*tuner, 60, 3, 12, false), 0) << "20 rewrites at most";
}

TEST_F(WorkingFrequencies, SelectsOnTheDefaultPanelOneDelayAtATime) {
  tuner->controller_level = 0;
  testing::internal::CaptureStdout();
  const int count = select();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(count, 2) << out;
  EXPECT_EQ(tuner->frequency_count, 2);
  EXPECT_EQ(out.rfind("Freq=266.667KHz, FreqIndex=0, Prescaler=12 - Target Validating\n", 0), 0u) << out;
  EXPECT_NE(out.find("\nPhaseTarget=00 / TX=00 - Target Validating\n"), std::string::npos);
  EXPECT_NE(out.find("\nPhaseTarget=06 / TX=15 - Target Validating\n"), std::string::npos);
  EXPECT_NE(out.find(" Register a new working freq.=266.667KHz, Clock-source=00, Pre-scaler=12\n"),
            std::string::npos);
  EXPECT_NE(out.find(" Register a new working freq.=246.154KHz, Clock-source=00, Pre-scaler=13\n"),
            std::string::npos);
  EXPECT_NE(out.find(" Total available working frequencies = 2\n"), std::string::npos);
  EXPECT_EQ(tuner->working[0].clock_source, 0);
  EXPECT_EQ(tuner->working[0].prescaler, 12);
  EXPECT_EQ(tuner->working[1].prescaler, 13);
  for (int t = 0; t < kImageChannels; ++t) {
    // StartGainA 17 is tried first, then the search stays inside 0 to 15.
    EXPECT_LE(tuner->working[0].gain_a[t], 15) << t;
    EXPECT_GE(tuner->working[0].gain_a[t], 8) << t;
    EXPECT_EQ(tuner->working[0].rs[t], 0xF0) << t;
  }
  EXPECT_FALSE(tuner->adjust_window);
  // The delay range of the last candidate: factor 3 x prescaler 13.
  EXPECT_EQ(sim.state().registers.chips[0][13], 39);
}

TEST_F(WorkingFrequencies, AllDelaysScanGivesTheSameChoice) {
  tuner->controller_level = 0;
  testing::internal::CaptureStdout();
  ASSERT_EQ(select(), 2);
  testing::internal::GetCapturedStdout();
  uint8_t per_delay[kImageChannels];
  for (int t = 0; t < kImageChannels; ++t) per_delay[t] = tuner->working[0].gain_a[t];

  TunerPtr other = create_tuner();
  configure_default_panel(*other);
  other->controller_level = 7;
  sim.clear_traffic();
  testing::internal::CaptureStdout();
  ASSERT_EQ(select_working_frequencies(*other, 50, 35), 2);
  testing::internal::GetCapturedStdout();
  for (int t = 0; t < kImageChannels; ++t) EXPECT_EQ(other->working[0].gain_a[t], per_delay[t]) << t;
  size_t phase_scans = 0;
  for (const auto& c : sim.received_commands()) {
    if (c[2] == '?' && c[3] == 'H' && c[4] == 0x40 && c[5] == 0x40) ++phase_scans;
  }
  EXPECT_GT(phase_scans, 0u);
}

TEST_F(WorkingFrequencies, SlowTxGainRefused) {
  sim.add_fault(sim::no_reply('?', 'R', -1));
  testing::internal::CaptureStdout();
  EXPECT_EQ(select(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " Failed to set correct TX gain\n");
}

TEST_F(WorkingFrequencies, NoTargetFits) {
  // Rows of 100 (peaks of 6): the first target fits at no GainA.
  tuner->controller_level = 0;
  sim.add_fault(sim::row_reads_answer(100));
  tuner->params.nums_of_freq = 1;
  ASSERT_EQ(register_file_frequencies(*tuner), 1);
  tuner->params.working_freq_count = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(select(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find(" Fail to find a suitable configuration for PhaseTarget=00 / TX=00\n Cal TX CH 00 fail\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" Total available working frequencies = 0\n"), std::string::npos);
}

TEST_F(WorkingFrequencies, RetriesOfOneIndexAreBounded) {
  // Rows of 1600 (peaks of 100, above the ceiling of 65) at every setting:
  // the window adjustment keeps "succeeding" by lowering ImageWaveSignal,
  // and each index is tried again a bounded number of times.
  tuner->controller_level = 0;
  tuner->params.start_rs = 0;
  tuner->params.nums_of_freq = 2;
  tuner->params.working_freq_count = 1;  // WorkingFreq0 = 0: entries 0 and 1
  ASSERT_EQ(register_file_frequencies(*tuner), 1);
  sim.add_fault(sim::row_reads_answer(1600));
  testing::internal::CaptureStdout();
  EXPECT_EQ(select(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  size_t adjusts = 0;
  for (size_t at = out.find("Adjust ref Low"); at != std::string::npos; at = out.find("Adjust ref Low", at + 1)) ++adjusts;
  EXPECT_EQ(adjusts, 2u * kMaxWindowRetries) << out;
  EXPECT_NE(out.find("Adjust ref Low = 35, ref High = 50, WaveSignal = 57\n"), std::string::npos);
  EXPECT_NE(out.find("Adjust ref Low = 35, ref High = 50, WaveSignal = 12\n"), std::string::npos);
  EXPECT_NE(out.find(" Total available working frequencies = 0\n"), std::string::npos);

  EXPECT_EQ(tuner->config.bytes[cfg::kImageWaveSignal], 12);
}

TEST(SignalWindow, AdjustsToThePeaksOrLowersTheWaveSignal) {
  TunerPtr t = create_tuner();
  t->config.bytes[cfg::kImageWaveSignal] = 60;
  t->adjustment_results[0][15][8] = {36, 40, 1};
  t->adjustment_results[0][15][9] = {30, 33, 1};
  t->adjustment_results[1][14][8] = {38, 44, 1};
  int high = 50, low = 35;
  ASSERT_EQ(adjust_signal_window(*t, &high, &low), 1);
  EXPECT_EQ(low, 36);
  EXPECT_EQ(high, 44);
  EXPECT_EQ(t->config.bytes[cfg::kImageWaveSignal], 60);

  // Every high at or above the ceiling of 65: the wave signal drops by 3,
  // the window stays; below 3 it cannot drop and the adjustment fails.
  TunerPtr u = create_tuner();
  u->adjustment_results[2][15][3] = {40, 70, 1};
  u->config.bytes[cfg::kImageWaveSignal] = 5;
  high = 50;
  low = 35;
  ASSERT_EQ(adjust_signal_window(*u, &high, &low), 1);
  EXPECT_EQ(u->config.bytes[cfg::kImageWaveSignal], 2);
  EXPECT_EQ(high, 50);
  EXPECT_EQ(adjust_signal_window(*u, &high, &low), 0);
  EXPECT_EQ(u->config.bytes[cfg::kImageWaveSignal], 2);

  // A smallest low below 11 fails.
  TunerPtr v = create_tuner();
  v->adjustment_results[0][0][0] = {5, 70, 1};
  EXPECT_EQ(adjust_signal_window(*v, &high, &low), 0);
}

}  // namespace
}  // namespace tmode
