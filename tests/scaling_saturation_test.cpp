// The scaling words, the saturation frames and their reduction, against the
// simulated panel and as tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diagnostics/saturation_read.h"
#include "diagnostics/scaling_measure.h"
#include "tests/support/steady_panel.h"

namespace tmode {
namespace {

using test::SteadyPanelTest;

TEST(ScalingWord, MultiplyAndDivideModes) {
  struct Case {
    int minimum, base;
    uint16_t word;
  };
  const Case cases[] = {
      {1500, 3000, 0x8014},  // 3000 x 10 / 1500 = 20, multiply mode
      {6000, 3000, 20},      // 6000 x 10 / 3000, divide mode
      {3000, 3000, 0x800A},  // equal is multiply mode
      {3001, 3000, 10},
      {1, 32767, 0xFFFF},    // 327670 held at 0x7FFF
      {32767, 1, 0x7FFF},
      {0, 3000, 0},          // no division by a zero minimum
      {-5, 3000, 0},
      {1500, 0, 0},          // nor by a zero base
  };
  for (const Case& c : cases) EXPECT_EQ(scaling_word(c.minimum, c.base), c.word) << c.minimum << " " << c.base;
}

TEST(SaturationPair, LargerByteOrHalfTheDifference) {
  struct Case {
    uint16_t word;
    uint16_t node;
    int value;
  };
  const Case cases[] = {{0x4010, 0x3A12, 58}, {0x4020, 0x3A12, 20}, {0x4010, 0x123A, 58},
                        {0x4020, 0x123A, 20}, {0x4020, 0x0001, 1},  {0x4020, 0x0100, 0},
                        {0x4020, 0xFF00, 127}, {0x4010, 0xFF00, 255}};
  for (const Case& c : cases) {
    EXPECT_EQ(reduce_saturation_pair(c.word, static_cast<int16_t>(c.node)), c.value) << std::hex << c.word << " "
                                                                                     << c.node;
  }
}

class Scaling : public SteadyPanelTest {};

TEST_F(Scaling, WordsFromTheRawFrameAndTheOpenFrameEdge) {
  // Raw minimum 600 at node (0, 0): 3000 x 10 / 600 = 50; open-test edge
  // minimum 1500: 20.
  testing::internal::CaptureStdout();
  EXPECT_EQ(measure_scaling(*tuner, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Open Scaling = 32788\nMutual Scaling = 32818\n");
  EXPECT_EQ(tuner->open_scaling, 0x8014);
  EXPECT_EQ(tuner->mutual_scaling, 0x8032);

  // Rx 5 reads 200 in the open-test frame, on the first and last Tx line too.
  sim.update([](sim::ControllerState& s) { s.panel.defects.open_rx = 5; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(measure_scaling_and_checksum(*tuner), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(tuner->open_scaling, 0x8096);
  EXPECT_TRUE(verify_hardware_block(tuner->hardware_block, kHardwareBlockSize));
}

TEST_F(Scaling, ZeroMinimumGivesNoWord) {
  sim.update([](sim::ControllerState& s) {
    for (auto& chip : s.registers.chips) chip[144] = 0;  // no waveform: every raw value 0
  });
  tuner->open_scaling = 7;
  tuner->mutual_scaling = 9;
  testing::internal::CaptureStdout();
  EXPECT_EQ(measure_scaling(*tuner, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(tuner->open_scaling, 7);
  EXPECT_EQ(tuner->mutual_scaling, 9);
}

TEST_F(Scaling, SaturationFramesReduced) {
  // The 0x4010 frame holds each node's extremes as signed bytes: 3 and -3
  // (0xFD) on a clean node, 100 and -100 (0x9C) on a shorted line; taken
  // unsigned, the larger is the minimum's byte.
  sim.update([](sim::ControllerState& s) { s.panel.defects.short_rx = 4; });
  read_saturation(*tuner, 0x4010);
  EXPECT_EQ(tuner->raw_table[0][0], 253);
  EXPECT_EQ(tuner->raw_table[3][4], 156);
  // Node (t, r) of the simulated 0x4020 frame carries 0x3A + t and 0x12 + r.
  read_saturation(*tuner, 0x4020);
  EXPECT_EQ(tuner->raw_table[0][0], 20);
  EXPECT_EQ(tuner->raw_table[0][27], 6);
  EXPECT_EQ(tuner->raw_table[3][27], 8);
}

TEST_F(Scaling, SaturationCheckLeavesTheRawTable) {
  for (int t = 0; t < 16; ++t) {
    for (int r = 0; r < 28; ++r) tuner->raw_table[t][r] = static_cast<int16_t>(1000 + t * 28 + r);
  }
  static int16_t before[kRawTableLines][kRawTableColumns];
  std::memcpy(before, tuner->raw_table, sizeof before);
  testing::internal::CaptureStdout();
  EXPECT_EQ(saturation_check(*tuner), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Start diagnostic test4\n");
  EXPECT_EQ(std::memcmp(before, tuner->raw_table, sizeof before), 0);
  bool selected = false;
  for (const sim::Bytes& c : sim.received_commands()) selected |= c.size() >= 6 && c[3] == 'H' && c[4] == 0x20 && c[5] == 0x40;
  EXPECT_TRUE(selected) << "the 0x4020 frame was read";
}

TEST_F(Scaling, SlowSaturationFrameThatNeverComesIsBoundedAndReported) {
  sim.update([](sim::ControllerState& s) { s.stream.frame_limit = 0; });  // frames never come
  test::Stopwatch watch;
  testing::internal::CaptureStdout();
  read_saturation(*tuner, 0x4010);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Get Saturation Data Fail\n");
  EXPECT_GT(watch.ms(), 9500.0);
  EXPECT_LT(watch.ms(), 14000.0);
}

}  // namespace
}  // namespace tmode
