// Automatic calibration targets from the line sums of the simulated panel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/library_state.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/calibration_targets.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

using test::SimLinkTest;

class CalibrationTargets : public SimLinkTest {
 protected:
  // A panel of tx driving lines and 28 sensing lines on two chips.
  void panel(int tx, bool plateaus, bool flat) {
    sim.update([&](sim::ControllerState& s) {
      s.panel.tx_lines = tx;
      s.panel.plateaus = plateaus;
      s.panel.flat = flat;
    });
    tuner = create_tuner();
    test::describe_sim_panel(tuner->config.bytes, tx);
    for (int i = 2; i < 7; ++i) tuner->config.bytes[cfg::cal_target(i)] = 99;
    library.frame.extra_lines = 2;
  }
  std::vector<int> targets() {
    std::vector<int> out;
    for (int i = 0; i < 7; ++i) out.push_back(tuner->config.bytes[cfg::cal_target(i)]);
    return out;
  }
  TunerPtr tuner;
};

TEST_F(CalibrationTargets, EqualSumsSplitTheLargestGaps) {
  panel(16, false, true);
  testing::internal::CaptureStdout();
  ASSERT_EQ(choose_calibration_targets(*tuner), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(targets(), (std::vector<int>{0, 1, 4, 7, 10, 14, 15}));
  EXPECT_EQ(out.rfind("Percentage 1 calibration target 0 = 0\ncalibration target 1 = 1\n", 0), 0u) << out;
  EXPECT_NE(out.find("calibration target 6 = 15\n"), std::string::npos);
}

TEST_F(CalibrationTargets, PlateausBecomeTargets) {
  panel(16, true, false);  // lines 0-5, 6-10 and 11-15 at three levels
  testing::internal::CaptureStdout();
  ASSERT_EQ(choose_calibration_targets(*tuner), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(targets(), (std::vector<int>{0, 1, 3, 6, 11, 14, 15}));
  // The frequency block was preset and written with the controller's block.
  const auto block = sim.state().parameters.committed[1];
  EXPECT_EQ(block[400 + 13 + 1], 30);
  EXPECT_EQ(block[400 + 83], 30);
}

TEST_F(CalibrationTargets, SteepPanelRaisesThePercentage) {
  panel(60, false, false);
  testing::internal::CaptureStdout();
  ASSERT_EQ(choose_calibration_targets(*tuner), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Percentage 1 Percentage 2 ", 0), 0u) << out;
  const std::vector<int> t = targets();
  EXPECT_EQ(t.front(), 0);
  EXPECT_EQ(t[5], 58);
  EXPECT_EQ(t[6], 59);
  for (int i = 1; i < 7; ++i) EXPECT_LT(t[i - 1], t[i]);
}

TEST_F(CalibrationTargets, ThreeLinesKeepTheTargets) {
  panel(3, false, false);
  testing::internal::CaptureStdout();
  EXPECT_EQ(choose_calibration_targets(*tuner), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(targets()[6], 99);
}

}  // namespace
}  // namespace tmode
