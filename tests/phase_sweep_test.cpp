// The phase sweep against the simulated controller: its steps, the blocks
// written and committed, and the delays put back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "diagnostics/phase_sweep.h"
#include "tests/support/steady_panel.h"
#include "tuning/working_tables.h"

namespace tmode {
namespace {

TEST(PhaseSweepSteps, ProductOfTheRangeBytesAtMost128) {
  struct Case {
    uint8_t divider, prescaler;
    int steps;
  };
  const Case cases[] = {{3, 2, 6},     {0, 40, 0},     {3, 0, 0},     {0x0B, 0x82, 6},
                        {1, 127, 127}, {2, 64, 128},   {3, 43, 128},  {7, 0x7F, 128}};
  for (const Case& c : cases) {
    uint8_t record[kFrequencyBlockSize] = {};
    record[2] = c.divider;
    record[3] = c.prescaler;
    EXPECT_EQ(phase_sweep_steps(record), c.steps) << int(c.divider) << " " << int(c.prescaler);
  }
}

class PhaseSweep : public test::SteadyPanelTest {
 protected:
  void SetUp() override {
    SteadyPanelTest::SetUp();
    const std::vector<uint8_t> block = sim.state().parameters.committed[1];
    std::copy(block.begin(), block.end(), tuner->hardware_block);
    test::describe_sim_panel(tuner->hardware_block + hw::kSensorConfiguration);
    set_range(3, 2);  // P = 6
    for (int i = 0; i < 7; ++i) record()[13 + 6 * i] = 9;
    reseal_hardware_block(*tuner);
  }
  uint8_t* record() { return tuner->hardware_block + hw::frequency_block(0); }
  void set_range(uint8_t divider, uint8_t prescaler) {
    record()[2] = divider;
    record()[3] = prescaler;
  }
  // The seven delays of the first frequency record the controller committed.
  std::string committed_delays() {
    const std::vector<uint8_t> block = sim.state().parameters.committed[1];
    std::string out;
    for (int i = 0; i < 7; ++i) out += std::to_string(block[hw::frequency_block(0) + 13 + 6 * i]) + " ";
    return out;
  }
  static size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
};

TEST_F(PhaseSweep, StepsDumpsAndPutsTheDelaysBack) {
  const int commits = sim.state().parameters.commits;
  testing::internal::CaptureStdout();
  EXPECT_EQ(phase_sweep(*tuner), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Log Phase0 = 0\nLog Phase0 = 1\nLog Phase0 = 2\nLog Phase0 = 3\nLog Phase0 = 4\nLog Phase0 = 5\n");
  EXPECT_EQ(count(trace_text(), "\nRaw16 Data\n"), 6u);
  // Six steps and the restore, each a changed block.
  EXPECT_EQ(sim.state().parameters.commits - commits, 7);
  EXPECT_EQ(committed_delays(), "9 9 9 9 9 9 9 ");
  EXPECT_EQ(record()[13], 9);
  EXPECT_TRUE(verify_hardware_block(tuner->hardware_block, kHardwareBlockSize));
}

TEST_F(PhaseSweep, StepThatKeepsTheBlockWritesNothing) {
  set_range(1, 1);  // P = 1: delays 0
  for (int i = 0; i < 7; ++i) record()[13 + 6 * i] = 0;
  reseal_hardware_block(*tuner);
  ASSERT_EQ(phase_sweep(*tuner), 1);  // the first step writes the tuner's block
  const int commits = sim.state().parameters.commits;
  testing::internal::CaptureStdout();
  EXPECT_EQ(phase_sweep(*tuner), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Log Phase0 = 0\n");
  EXPECT_EQ(sim.state().parameters.commits, commits);
}

TEST_F(PhaseSweep, NoRangeDoesNothing) {
  set_range(0, 40);
  sim.clear_traffic();
  testing::internal::CaptureStdout();
  EXPECT_EQ(phase_sweep(*tuner), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(sim.received_count(), 0u);
}

TEST_F(PhaseSweep, SlowFrameThatNeverComesStillPutsTheDelaysBack) {
  set_range(1, 1);
  sim.update([](sim::ControllerState& s) { s.stream.frame_limit = 0; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(phase_sweep(*tuner), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(committed_delays(), "9 9 9 9 9 9 9 ");
}

}  // namespace
}  // namespace tmode
