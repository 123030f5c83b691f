// The hardware bias test and the single-end stable test against the
// simulated panel: their blocks, the registers the stable test programs,
// and the ranges, counts and chips they refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "diagnostics/bias_test.h"
#include "diagnostics/stable_test.h"
#include "library/library_state.h"
#include "tests/support/steady_panel.h"

namespace tmode {
namespace {

using test::SteadyPanelTest;

// The pass lines of Rx lines first to last: "Rx[r]," + values + ",Pass".
std::string pass_lines(const char* values, int first, int last) {
  std::string out;
  for (int r = first; r <= last; ++r) out += "Rx[" + std::to_string(r) + "]," + values + ",Pass\r\n";
  return out;
}
std::string bias_pass_lines(int first, int last) { return pass_lines("0.0,0.0", first, last); }
std::string stable_pass_lines(int first, int last) { return pass_lines("0", first, last); }

size_t commands_of(const sim::Simulator& sim, uint8_t letter, int chip = -1) {
  size_t n = 0;
  for (const sim::Bytes& c : sim.received_commands()) {
    if (c.size() >= 5 && c[2] == '?' && c[3] == letter && (chip < 0 || c[4] == chip)) ++n;
  }
  return n;
}

TEST(BiasRatio, TenthsOfAPercentHeldToSixteenBits) {
  struct Case {
    int average, max, min;
    int ratio;
  };
  const Case cases[] = {
      {1000, 1060, 990, 60},     // the farther extreme counts
      {1000, 1010, 950, 50},
      {0, 40, -40, 0},           // no division by a zero average
      {-100, -90, -120, -200},   // the sign of the average stays
      {125, 8317, 125, 32767},   // 65536 would wrap to 0, a pass
      {1, 30000, 1, 32767},
      {-1, 30000, -1, -32768},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bias_ratio(c.average, c.max, c.min), c.ratio) << c.average << " " << c.max << " " << c.min;
  }
}

class BiasTest : public SteadyPanelTest {
 protected:
  void SetUp() override {
    SteadyPanelTest::SetUp();
    tuner->bias.repeat_count = 2;
    tuner->bias.threshold = 5;
    tuner->bias.line_output = 1;
  }
  void noisy(int tx, int rx, int noise) {
    sim.update([&](sim::ControllerState& s) {
      s.panel.defects.noisy_tx = tx;
      s.panel.defects.noisy_rx = rx;
      s.panel.defects.noise = noise;
    });
  }
};

TEST_F(BiasTest, CleanPanelBlock) {
  EXPECT_EQ(hw_bias_test(*tuner), 0);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\nThreshold:,5%,\r\n" + bias_pass_lines(0, 27) + "\nBias Test PASS\n");
  EXPECT_EQ(tuner->raw_table[0][0], 1500) << "the open-test frames' average";
  EXPECT_EQ(commands_of(sim, 'H'), 8u) << "two phases of two frames, each selected and stopped";
}

TEST_F(BiasTest, RatioFiftyPassesAndFiftyOneFailsAtThresholdFive) {
  // Node (0, 0) reads 600; +/-30 spreads it by 50 tenths of a percent.
  noisy(0, 0, 30);
  EXPECT_EQ(hw_bias_test(*tuner), 0);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\nThreshold:,5%,\r\nRx[0],5.0,0.0,Pass\r\n" + bias_pass_lines(1, 27) +
                              "\nBias Test PASS\n");
  EXPECT_EQ(tuner->failed_rx[0], 0);
  noisy(0, 0, 31);
  EXPECT_EQ(hw_bias_test(*tuner), -1);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\nThreshold:,5%,\r\nRx[0],5.1,0.0,Fail\r\n" + bias_pass_lines(1, 27) +
                              "\nBias Test FAIL\n");
  EXPECT_EQ(tuner->failed_rx[0], 1);
}

TEST_F(BiasTest, MarkOnlyAndSilentModes) {
  noisy(3, 9, 100);
  tuner->mark_only = 1;
  EXPECT_EQ(hw_bias_test(*tuner), 0);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\nThreshold:,5%,\r\n\nBias Test PASS\n");
  EXPECT_EQ(tuner->failed_rx[9], 1);
  EXPECT_EQ(tuner->failed_rx[8], 0);

  tuner->mark_only = 0;
  tuner->bias.line_output = 0;
  EXPECT_EQ(hw_bias_test(*tuner), -1);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\nThreshold:,5%,\r\n\nBias Test FAIL\n");

  // Without a log the verdict stays.
  std::fclose(tuner->log_stream);
  tuner->log_stream = nullptr;
  EXPECT_EQ(hw_bias_test(*tuner), -1);
  tuner->log_stream = std::tmpfile();
}

TEST_F(BiasTest, RxMarksStopAtTheirTable) {
  // 150 sensing lines, 75 a chip; Rx 136 lies past the 136 marks. Two
  // driving lines keep the frame within what a pty holds at once.
  tuner->config.bytes[cfg::tx_end(0)] = 1;
  tuner->config.bytes[cfg::rx_end(0)] = 74;
  tuner->config.bytes[cfg::rx_end(1)] = 74;
  sim.update([](sim::ControllerState& s) {
    s.panel.rx_lines = 150;
    s.panel.tx_lines = 2;
  });
  noisy(0, 136, 100);
  tuner->bias.line_output = 0;
  EXPECT_EQ(hw_bias_test(*tuner), -1);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\nThreshold:,5%,\r\n\nBias Test FAIL\n");
  EXPECT_EQ(tuner->mark_only, 0);
  for (int r = 0; r < 136; ++r) EXPECT_EQ(tuner->failed_rx[r], 0) << r;
}

TEST_F(BiasTest, RepeatCountZeroIsRefusedUnread) {
  tuner->bias.repeat_count = 0;
  EXPECT_EQ(hw_bias_test(*tuner), -1);
  EXPECT_EQ(trace_text(), "\nHW Bias Test\n");
  EXPECT_EQ(commands_of(sim, 'H'), 0u);
}

TEST_F(BiasTest, SlowFrameThatNeverCompletesEndsWithoutVerdict) {
  sim.update([](sim::ControllerState& s) { s.stream.frame_limit = 0; });  // frames never come
  test::Stopwatch watch;
  EXPECT_EQ(hw_bias_test(*tuner), -1);
  EXPECT_GT(watch.ms(), 4500.0);
  EXPECT_LT(watch.ms(), 9000.0) << "one frame read, not 2 x N";
  EXPECT_EQ(trace_text(), "\nHW Bias Test\n");
  EXPECT_FALSE(library.tuner_frame.ready[0].load());
}

class StableTest : public SteadyPanelTest {
 protected:
  void SetUp() override {
    SteadyPanelTest::SetUp();
    tuner->stable.first_rx = 0;
    tuner->stable.last_rx = 13;
    tuner->stable.threshold = 50;
    tuner->stable.tolerance = 0x13;
  }
  std::string head() const { return "\nStart Single End Stable Test\n\r\nThreshold:,50,\r\nBiasTestTolerance:,19,\r\n"; }
};

TEST_F(StableTest, CleanAndNoisyBlocks) {
  EXPECT_EQ(single_end_stable_test(*tuner), 0);
  EXPECT_EQ(trace_text(), head() + stable_pass_lines(0, 12) + "\nSingle End Stable Test PASS\n");
  EXPECT_EQ(commands_of(sim, 'D'), 100u);

  // The last driving line is scanned; its node at Rx 5 moves by +/-80.
  sim.update([](sim::ControllerState& s) {
    s.panel.defects.noisy_tx = 15;
    s.panel.defects.noisy_rx = 5;
    s.panel.defects.noise = 80;
  });
  EXPECT_EQ(single_end_stable_test(*tuner), -1);
  EXPECT_EQ(trace_text(), head() + stable_pass_lines(0, 4) + "Rx[5],160,Fail\r\n" + stable_pass_lines(6, 12) +
                              "\nSingle End Stable Test FAIL\n");
  EXPECT_EQ(tuner->failed_rx[5], 1);

  // Without a log the verdict stays.
  std::fclose(tuner->log_stream);
  tuner->log_stream = nullptr;
  EXPECT_EQ(single_end_stable_test(*tuner), -1);
  tuner->log_stream = std::tmpfile();

  tuner->mark_only = 1;
  tuner->failed_rx[5] = 0;
  EXPECT_EQ(single_end_stable_test(*tuner), 0);
  EXPECT_EQ(trace_text(), head() + "\nSingle End Stable Test PASS\n");
  EXPECT_EQ(tuner->failed_rx[5], 1);
}

TEST_F(StableTest, ProgramsTheChips) {
  tuner->stable.register_1 = 5;
  tuner->stable.register_8 = 100;
  tuner->stable.value = 3;
  for (int variant : {0, 1}) {
    tuner->stable.register_variant = variant;
    ASSERT_EQ(single_end_stable_test(*tuner), 0);
    const sim::ControllerState s = sim.state();
    const uint8_t byte2 = variant ? 0x08 : 0x21, byte12 = variant ? 0x4C : 12;
    const std::array<uint8_t, 16> block = {0x33, 0xE2, byte2, 0x41, 0, 0,    14, 0x13,
                                           0,    0,    0,     0x8A, byte12, 12, 2,  0};
    for (int chip = 0; chip < 2; ++chip) {
      std::array<uint8_t, 16> expected = block;
      if (chip == 0) {
        expected[1] = 0x52;
        expected[8] = 100;
      }
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), s.registers.chips[chip].begin()))
          << "chip " << chip << " variant " << variant;
      EXPECT_EQ(s.registers.chips[chip][138], 0x30);
      EXPECT_EQ(s.registers.chips[chip][137], 0);
    }
  }
  EXPECT_EQ(tuner->stable.verified_gain_a[1], 3);
  EXPECT_EQ(tuner->stable.verified_rs[1], 1);
}

TEST_F(StableTest, RangeAndValueDerivedFromTheSettings) {
  tuner->stable.first_rx = 0;
  tuner->stable.last_rx = 0;
  tuner->stable.range_start = 2;
  tuner->stable.range_end = 10;
  tuner->stable.current_frequency = 1;
  tuner->hardware_block[hw::frequency_block(1) + 18] = 4;
  tuner->stable.values[4] = 7;
  struct Case {
    int add_28;
    int first, end;  // block bytes 5 and 6
    int lines;
  };
  for (const Case& c : {Case{0, 2, 12, 9}, Case{1, 30, 40, 9}}) {
    tuner->stable.add_28 = c.add_28;
    ASSERT_EQ(single_end_stable_test(*tuner), 0);
    const sim::ControllerState s = sim.state();
    EXPECT_EQ(s.registers.chips[1][5], c.first);
    EXPECT_EQ(s.registers.chips[1][6], c.end);
    EXPECT_EQ(s.registers.chips[1][138], 0x70);
    EXPECT_EQ(trace_text(), head() + stable_pass_lines(0, c.lines - 1) + "\nSingle End Stable Test PASS\n");
  }
  // An index past the value table keeps the value.
  tuner->hardware_block[hw::frequency_block(1) + 18] = 200;
  tuner->stable.value = 2;
  ASSERT_EQ(single_end_stable_test(*tuner), 0);
  EXPECT_EQ(sim.state().registers.chips[1][138], 0x20);
}

TEST(StableRange, FitsTheEightBitCountAndAddress) {
  struct Case {
    int first, last;
    bool fits;
  };
  const Case cases[] = {{0, 13, true},    {13, 13, true},   {14, 13, false},  {0, 119, true},
                        {0, 120, false},  {119, 119, true}, {120, 120, false}, {-1, 5, false},
                        {0, 127, false},  {40, 119, true},  {40, 120, false}};
  for (const Case& c : cases) EXPECT_EQ(stable_range_fits(c.first, c.last), c.fits) << c.first << " " << c.last;
}

TEST_F(StableTest, RefusedRangeSendsNothing) {
  sim.clear_traffic();
  for (auto [first, last] : {std::pair{5, 4}, std::pair{0, 120}}) {
    tuner->stable.first_rx = static_cast<uint8_t>(first);
    tuner->stable.last_rx = static_cast<uint8_t>(last);
    EXPECT_EQ(single_end_stable_test(*tuner), -1);
    EXPECT_EQ(trace_text(), "\nStart Single End Stable Test\n\nSingle End Stable Test Fail\n");
  }
  EXPECT_EQ(sim.received_count(), 0u);
}

TEST_F(StableTest, DeadChipFailsVerificationAfterTwentyTries) {
  sim.update([](sim::ControllerState& s) { s.panel.defects.dead_chip = 1; });
  EXPECT_EQ(single_end_stable_test(*tuner), -1);
  EXPECT_EQ(trace_text(), "\nStart Single End Stable Test\n\nSingle End Stable Test Fail\n");
  // 20 tries of one read, each read given 5 exchanges; no scan follows.
  EXPECT_EQ(commands_of(sim, 'B', 1), 100u);
  EXPECT_EQ(commands_of(sim, 'D'), 0u);
}

}  // namespace
}  // namespace tmode
