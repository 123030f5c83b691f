// The threshold and sensitivity operations against the simulated
// controller: the mode command, the image edit and the block written back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "maintenance/parameter_checksums.h"
#include "maintenance/parameter_images.h"
#include "maintenance/threshold_settings.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using Bytes = std::vector<uint8_t>;

class ThresholdSettings : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    // Layout A: three records; mode 1 with P = 200, Q = 100, R = 80 at level 7.
    // Layout B lives in the same block for the slot 5 image: P of mode 2 at
    // 256 + 128 + 50. Layout C's fields sit at fixed offsets below 256.
    edit_software_block([](Bytes& b) {
      b[64] = 3;
      put(b, 256 + 70 + 2, 200);
      put(b, 256 + 70 + 4, 100);
      put(b, 256 + 70 + 6, 80);
      b[256 + 70 + 25] = 7;
      put(b, 272, 300);
      b[132] = 4;
      put(b, 256 + 128 + 50, 200);
      put(b, 256 + 128 + 52, 100);
      put(b, 256 + 128 + 54, 80);
      b[256 + 128 + 58] = 2;
      put(b, 50, 200);
      put(b, 56, 100);
      put(b, 58, 80);
      b[124] = 0xFF;
    });
    ASSERT_EQ(load_parameter_images(1), 0);
    ASSERT_EQ(load_parameter_images(5), 0);
    sim.clear_traffic();
  }

  static void put(Bytes& b, size_t at, int value) {
    b[at] = static_cast<uint8_t>(value);
    b[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  void edit_software_block(void (*edit)(Bytes&)) {
    sim.update([edit](sim::ControllerState& s) {
      edit(s.parameters.working[0]);
      s.parameters.seal(0);
      s.parameters.committed = s.parameters.working;
    });
  }
  // The commands received, by their class and letter.
  std::vector<std::string> command_names() {
    std::vector<std::string> names;
    for (const auto& c : sim.received_commands()) names.push_back(std::string{char(c[2]), char(c[3])});
    return names;
  }
};

TEST_F(ThresholdSettings, GetReportsTheActiveModeAndItsLevel) {
  sim.update([](sim::ControllerState& s) { s.touch_mode = 1; });
  ThresholdInfo info{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_threshold_info(&info), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Nums Of Thresholds = 3\nCurrent:\n\tThreshold mode= 1\n\tSensitivityLevel = 7\n");
  EXPECT_EQ(info.record_count, 3);
  EXPECT_EQ(info.mode, 1);
  EXPECT_EQ(info.level, 7);

  sim.update([](sim::ControllerState& s) { s.touch_mode = 2; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_threshold_info_b(&info), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Nums Of Thresholds = 4\nCurrent:\n\tThreshold mode= 2\n\tSensitivityLevel = 2\n");
}

TEST_F(ThresholdSettings, GetFailsWhenTheModeCannotBeUsed) {
  ThresholdInfo info{9, 9, 9};
  // A mode whose record lies beyond the block.
  sim.update([](sim::ControllerState& s) { s.touch_mode = 4; s.mode_count = 8; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_threshold_info(&info), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(info.mode, 9);

  sim.vanish();
  usleep(50000);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_threshold_info_b(&info), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Get Threshold Mode Fail\n");
  EXPECT_EQ(info.record_count, 9);
}

TEST_F(ThresholdSettings, SingleLayoutGetSendsNothing) {
  ThresholdInfo info{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_single_threshold_info(&info), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Nums Of Thresholds = 1\nCurrent Setting:\n\tThreshold mode = 0\n\tSensitivityLevel = -1\n");
  EXPECT_EQ(info.record_count, 1);
  EXPECT_EQ(info.mode, 0);
  EXPECT_EQ(info.level, -1);
  usleep(20000);
  EXPECT_EQ(sim.received_count(), 0u);
}

TEST_F(ThresholdSettings, SetSwitchesRescalesAndWritesTheBlockBack) {
  const ThresholdInfo info{0, 1, 3};
  testing::internal::CaptureStdout();
  EXPECT_EQ(set_threshold_sensitivity(&info), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Set sensitivity parameter success !!\n");

  std::vector<std::string> expected = {"?e", "?e", "?H"};
  expected.insert(expected.end(), 10, "?I");
  expected.push_back("?K");
  EXPECT_EQ(command_names(), expected);
  const auto sent = sim.received_commands();
  EXPECT_EQ(sent[1], bytes({3, 4, '?', 'e', 1, 1}));
  EXPECT_EQ(sent[2], bytes({3, 4, '?', 'H', 0x01, 0x80}));
  EXPECT_EQ(sent.back(), bytes({3, 4, '?', 'K', 0, 0}));

  const sim::ParameterStore p = sim.state().parameters;
  const uint8_t* image = library.images.first_software;
  EXPECT_EQ(p.committed[0], Bytes(image, image + 512)) << "committed as written";
  const uint8_t* record = image + 256 + 70;
  EXPECT_EQ(record[21], 91);
  EXPECT_EQ(record[20], 118);
  EXPECT_EQ(read_le16(record + 16), 140);
  EXPECT_EQ(read_le16(record + 8), 70);
  EXPECT_EQ(read_le16(record + 10), 56);
  EXPECT_EQ(record[25], 3);
  EXPECT_TRUE(verify_software_block(image));
  EXPECT_EQ(sim.state().touch_mode, 1);
}

TEST_F(ThresholdSettings, ARefusedModeSwitchDoesNotStopTheWrite) {
  sim.update([](sim::ControllerState& s) { s.mode_count = 1; });
  const ThresholdInfo info{0, 2, 4};
  testing::internal::CaptureStdout();
  EXPECT_EQ(set_threshold_sensitivity_b(&info), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(sim.state().touch_mode, 0);
  EXPECT_EQ(library.images.current_software[256 + 128 + 58], 4);
  EXPECT_EQ(sim.state().parameters.committed[0][256 + 128 + 58], 4);
}

TEST_F(ThresholdSettings, SingleLayoutSetSendsNoModeCommand) {
  const ThresholdInfo info{0, 5, 3};
  testing::internal::CaptureStdout();
  EXPECT_EQ(set_single_threshold_sensitivity(&info), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(command_names().front(), "?H");
  EXPECT_EQ(library.images.first_software[69], 91);
  EXPECT_EQ(library.images.first_software[124], 3);
}

TEST_F(ThresholdSettings, RefusalsComeBeforeAnythingIsSent) {
  uint8_t* image = library.images.first_software;
  uint8_t saved[512];
  testing::internal::CaptureStdout();

  std::memcpy(saved, image, 512);
  const ThresholdInfo beyond{0, 4, 3};
  EXPECT_EQ(set_threshold_sensitivity(&beyond), -1);
  EXPECT_EQ(std::memcmp(saved, image, 512), 0);

  // P = 0 on a record whose old level is 10.
  image[256 + 70 + 2] = 0;
  image[256 + 70 + 3] = 0;
  image[256 + 70 + 25] = 10;
  std::memcpy(saved, image, 512);
  const ThresholdInfo zero_divisor{0, 1, 3};
  EXPECT_EQ(set_threshold_sensitivity(&zero_divisor), -1);
  EXPECT_EQ(std::memcmp(saved, image, 512), 0);

  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  usleep(20000);
  EXPECT_EQ(sim.received_count(), 0u);
}

TEST_F(ThresholdSettings, FailedWriteKeepsTheNewValuesInTheImage) {
  // The third chunk (position 108) is answered for another position five times.
  sim::Fault fault = sim::wrong_byte('?', 'I', 5, 0, 5);
  fault.when = [](const sim::Bytes& p) { return p.size() > 4 && p[3] == 108 && p[4] == 0; };
  sim.add_fault(fault);
  const ThresholdInfo info{0, 1, 3};
  testing::internal::CaptureStdout();
  EXPECT_EQ(set_threshold_sensitivity(&info), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Set sensitivity parameter fail !!\n");
  EXPECT_EQ(library.images.first_software[256 + 70 + 25], 3);
  EXPECT_EQ(command_names().back(), "?I") << "no commit";
  EXPECT_EQ(sim.state().parameters.committed[0][256 + 70 + 25], 7);
}

}  // namespace
}  // namespace tmode
