// The noise line test against the simulated controller's touch
// information.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/noise_line_test.h"
#include "library/library_state.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

class NoiseLine : public test::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    std::snprintf(library.log_paths.slots[kMainLog], kLogPathSize, "%s", log_path().c_str());
  }
  void TearDown() override {
    std::snprintf(library.log_paths.slots[kMainLog], kLogPathSize, "Log.csv");
    SimLinkTest::TearDown();
  }
  std::string log_path() const { return scratch.file("main.csv"); }
  std::string log() const { return test::file_exists(log_path()) ? test::read_file(log_path()) : ""; }

  void noise(std::vector<int16_t> values, int limit = -1) {
    sim.update([&](sim::ControllerState& s) {
      s.touch_stream.max_noise = values;
      s.touch_stream.limit = limit;
    });
  }
  // The packets of these class and sub bytes the simulator received.
  std::vector<std::vector<uint8_t>> sent(uint8_t sub) {
    std::vector<std::vector<uint8_t>> packets;
    for (const auto& r : sim.received_commands()) {
      if (r.size() > 3 && r[2] == '?' && r[3] == sub) packets.emplace_back(r.begin() + 2, r.end());
    }
    return packets;
  }

  test::ScratchDir scratch;
};

TEST_F(NoiseLine, PassesWhenNoReplyExceedsTheThreshold) {
  noise({12, 30, -40});
  test::Stopwatch watch;
  EXPECT_EQ(noise_line_test(0, 0, 10, 30), 0);
  EXPECT_LT(watch.ms(), 1500) << "ends when the tenth reply arrived";
  EXPECT_FALSE(library.noise.noise_failed);
  EXPECT_EQ(log(), "");
  EXPECT_EQ(sent('H'), (std::vector<std::vector<uint8_t>>{test::bytes({'?', 'H', 0x00, 0x20}),
                                                          test::bytes({'?', 'H', 0x00, 0x80})}));
  EXPECT_EQ(sent('i'), (std::vector<std::vector<uint8_t>>{test::bytes({'?', 'i', 1}), test::bytes({'?', 'i', 0})}));
}

TEST_F(NoiseLine, ValuesAboveTheThresholdFailAndAreMarked) {
  noise({12, 31, 30});
  EXPECT_EQ(noise_line_test(0, 0, 5, 30), -1);
  EXPECT_TRUE(library.noise.noise_failed);
  EXPECT_EQ(log(), "R[N]:,12,*31,30,12,*31,\r\nNoise Line Variation Fail\r\n\r\n");
}

TEST_F(NoiseLine, CountsOutsideTheListAreRefusedBeforeAnythingIsSent) {
  for (int count : {0, 22705}) {
    library.noise.noise_failed = false;
    EXPECT_EQ(noise_line_test(0, 0, count, 30), -1) << count;
    EXPECT_TRUE(library.noise.noise_failed);
  }
  EXPECT_TRUE(sent('i').empty());
  EXPECT_EQ(log(), "");
}

TEST_F(NoiseLine, SlowMissingRepliesFailAfterTwoSeconds) {
  noise({12}, 7);
  test::Stopwatch watch;
  EXPECT_EQ(noise_line_test(0, 0, 10, 30), -1);
  EXPECT_GT(watch.ms(), 1900);
  EXPECT_LT(watch.ms(), 4000);
  EXPECT_TRUE(library.noise.noise_failed);
  EXPECT_EQ(log(), "R[N]:,12,12,12,12,12,12,12,0,0,0,Get Data Fail, Count=7\r\nNoise Line Variation Fail\r\n\r\n");
}

TEST_F(NoiseLine, SlowTheLargestCountIsAccepted) {
  noise({12});
  EXPECT_EQ(noise_line_test(0, 0, 22704, 30), -1);
  EXPECT_FALSE(sent('i').empty());
  const std::string text = log();
  EXPECT_EQ(text.rfind("R[N]:,12,12,", 0), 0u);
  EXPECT_NE(text.find("Get Data Fail, Count="), std::string::npos);
}

TEST_F(NoiseLine, AMainLogThatCannotBeOpenedKeepsTheVerdict) {
  std::snprintf(library.log_paths.slots[kMainLog], kLogPathSize, "%s", scratch.file("none/main.csv").c_str());
  noise({99});
  EXPECT_EQ(noise_line_test(0, 0, 3, 30), -1);
  EXPECT_TRUE(library.noise.noise_failed);
}

}  // namespace
}  // namespace tmode
