// Image-data records of every data type, byte for byte under a pinned
// clock, from the simulated controller's frame streams on a 3 x 2 panel
// without the water line (frame: noise line, Tx 0, Tx 1, an empty line).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "diagnostics/image_capture.h"
#include "library/library_state.h"
#include "sim/uniformity_block.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/image_capture_fixture.h"

namespace tmode {
namespace {

class ImageRecord : public test::ImageCaptureTest {
 protected:
  void SetUp() override {
    ImageCaptureTest::SetUp();
    unity_front_end();
  }
  test::FixedClock clock{1767323045};  // 2026-01-02 03:04:05 UTC
};

// The header every record starts with: the simulator reports frequency
// index 3 and status code 0x0A0B0100.
const std::string kHeader =
    "Date:,2026/01/02\r\n"
    "Time:,03:04:05\r\n"
    "Freqency Index:,3\r\n"
    "Error Code:,0x0A0B0100\r\n";
const std::string kFooter = ",Noise,Tx[ 00 ],Tx[ 01 ],\r\nImage Data End\r\n\r\n\r\n";

struct RecordCase {
  const char* name;
  int code;
  int model;
  int rx;
  LogSlot slot;
  std::string expected;
  std::function<void(sim::Simulator&)> controller;  // more of the controller, when the type needs it
};

// Frames of the simulator (t: Tx line, r: Rx channel):
//   raw      noise line 12, node 600 x (1 + 0.002 t + 0.002 r) rounded:
//            Tx 0: 600 601 602, Tx 1: 601 602 604
//   cooked   noise line 2, node 3t - r
//   stray    noise line 12, node 40 + 5t + r
//   saturation (0x4020) pairs high 0x3A + t, low 0x12 + r; L2 (0x4010) 3 and -3
const std::vector<RecordCase>& record_cases() {
  static const std::vector<RecordCase> cases = {
      {"RawL2", 0, 0, 3, kRawL2Log,
       kHeader + "Data Type:,RawL2\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],12,600,601\r\nRx[ 01 ],12,601,602\r\nRx[ 02 ],12,602,604\r\n" + kFooter,
       nullptr},
      {"CookL2", 1, 0, 3, kCookL2Log,
       kHeader + "Data Type:,CookL2\r\nLog Count:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],2,0,3\r\nRx[ 01 ],2,-1,2\r\nRx[ 02 ],2,-2,1\r\n" + kFooter,
       nullptr},
      {"StrayL2", 2, 0, 3, kStrayL2Log,
       kHeader + "Data Type:,StrayL2\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],12,40,45\r\nRx[ 01 ],12,41,46\r\nRx[ 02 ],12,42,47\r\n" + kFooter,
       nullptr},
      {"Raw", 3, 0, 3, kRawLog,
       kHeader + "Data Type:,Raw\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],12,600,601\r\nRx[ 01 ],12,601,602\r\nRx[ 02 ],12,602,604\r\n" + kFooter,
       nullptr},
      // Cooked Tx 0 (0 -1 -2 -3 -4) decodes to 0 1 0 0 -3, Tx 1 (3 2 1 0 -1)
      // to -3 -1 0 1 0; the noise line is copied.
      {"TouchSignal, layout A", 4, 18, 5, kTouchSignalLog,
       kHeader + "Data Type:,TouchSignal\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],2,0,-3\r\nRx[ 01 ],2,1,-1\r\nRx[ 02 ],2,0,0\r\nRx[ 03 ],2,0,1\r\nRx[ 04 ],2,-3,0\r\n" +
           kFooter,
       nullptr},
      // Tx 1 - Tx 0 at table line 2; the next difference would need a line
      // beyond the last taken.
      {"Uniformity, layout A", 5, 18, 3, kUniformityLog,
       kHeader + "Data Type:,Uniformity\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],12,1,0\r\nRx[ 01 ],12,1,0\r\nRx[ 02 ],12,2,0\r\n" + kFooter,
       nullptr},
      {"Cook, copied for other models", 6, 0, 3, kCookLog,
       kHeader + "Data Type:,Cook\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],2,0,3\r\nRx[ 01 ],2,-1,2\r\nRx[ 02 ],2,-2,1\r\n" + kFooter,
       nullptr},
      // MutualScaling 0x8280: gain 640 in multiply mode, (640 x V / 10) >> 6 = V;
      // then Tx 1 - Tx 0 but for the last Rx and the last line.
      {"Unifor_Test, multiply mode", 9, 0, 3, kUniforTestLog,
       kHeader + "Data Type:,Unifor_Test\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],0,1,0\r\nRx[ 01 ],0,1,0\r\nRx[ 02 ],0,0,0\r\n" + kFooter,
       [](sim::Simulator&) {
         library.images.hardware1[80] = 0x80;
         library.images.hardware1[81] = 0x82;
       }},
      // Tx 1 - Tx 0, less the table's offset 5 at Tx 0, Rx 1.
      {"Unifor_Cook", 10, 18, 3, kUniforCookLog,
       kHeader + "Data Type:,Unifor_Cook\r\nLog Counts:,1\r\nImage Data Start\r\n"
                 "Rx[ 00 ],12,1,0\r\nRx[ 01 ],12,-4,0\r\nRx[ 02 ],12,2,0\r\n" + kFooter,
       [](sim::Simulator& controller) {
         sim::UniformityBlockDescription table;
         table.layout = sim::UniformityLayout::kIndexed;
         table.size = 1024;
         table.frequencies.assign(4, {{0, 1, 5}});
         controller.update([&](sim::ControllerState& s) {
           s.family.level[0] = 5;
           s.parameters.working[2] = sim::build_uniformity_block(table);
         });
       }},
      // The saturation handler ends the frame at line tx_total - 1: in the L2
      // layout that is Tx 0, and Tx 1 stays empty. A clean node of the L2
      // frame swings from -3 to 3: ABS (3 - -3) / 2 = 3.
      {"Saturation L2, ABS", 112, 24, 3, kSatL2Log,
       kHeader + "Data Type:,Saturation\r\nLog Counts:,1\r\nData Mode:,ABS\r\nImage Data Start\r\n"
                 "Rx[ 00 ],0,3,0\r\nRx[ 01 ],0,3,0\r\nRx[ 02 ],0,3,0\r\n" + kFooter,
       nullptr},
      // Saturation frames (0x4020) in the panel's layout: the noise line 0,
      // driving line t pairs (high 0x3A + t, low 0x12 + r). The handler ends
      // the frame at line tx_total - 1, so only Tx 0 arrives (Tx 1 stays 0).
      // ABS (|high| + |low|) / 2: r 0 (58 + 18) / 2 = 38, r 1 38, r 2 39;
      // MAX 58; MIN 18 + r.
      {"Saturation, ABS", 128, 0, 3, kSatLog,
       kHeader + "Data Type:,Saturation Single,ABS\r\nLog Counts:,1\r\nData Mode:,ABS\r\nImage Data Start\r\n"
                 "Rx[ 00 ],0,38,0\r\nRx[ 01 ],0,38,0\r\nRx[ 02 ],0,39,0\r\n" + kFooter,
       nullptr},
      {"Saturation, MAX", 129, 0, 3, kSatLog,
       kHeader + "Data Type:,Saturation Single,MAX\r\nLog Counts:,1\r\nData Mode:,MAX\r\nImage Data Start\r\n"
                 "Rx[ 00 ],0,58,0\r\nRx[ 01 ],0,58,0\r\nRx[ 02 ],0,58,0\r\n" + kFooter,
       nullptr},
      {"Saturation, MIN", 130, 0, 3, kSatLog,
       kHeader + "Data Type:,Saturation Single,MIN\r\nLog Counts:,1\r\nData Mode:,MIN\r\nImage Data Start\r\n"
                 "Rx[ 00 ],0,18,0\r\nRx[ 01 ],0,19,0\r\nRx[ 02 ],0,20,0\r\n" + kFooter,
       nullptr},
  };
  return cases;
}

TEST_F(ImageRecord, EachDataTypeByteForByte) {
  const uint8_t saved_scaling[2] = {library.images.hardware1[80], library.images.hardware1[81]};
  for (const RecordCase& c : record_cases()) {
    SCOPED_TRACE(c.name);
    library.model_code = c.model;
    sensor(c.rx, 2);
    if (c.controller) c.controller(sim);
    alloc_image_buffer(0, 0);
    ASSERT_EQ(capture_image_record(0, 0, c.code), 0);
    EXPECT_EQ(log(c.slot), c.expected);
    std::remove(library.log_paths.slots[c.slot]);
    library.images.hardware1[80] = saved_scaling[0];
    library.images.hardware1[81] = saved_scaling[1];
    library.capture.multiply_mode = false;
  }
}

TEST_F(ImageRecord, CountersGrowPerTypeAndAppend) {
  alloc_image_buffer(0, 0);
  ASSERT_EQ(capture_image_record(0, 0, 1), 0);
  ASSERT_EQ(capture_image_record(0, 0, 1), 0);
  ASSERT_EQ(capture_image_record(0, 0, 6), 0);
  const std::string cook_l2 = log(kCookL2Log);
  const std::string first = "Data Type:,CookL2\r\nLog Count:,1\r\n";
  const std::string second = "Data Type:,CookL2\r\nLog Count:,2\r\n";
  ASSERT_NE(cook_l2.find(first), std::string::npos) << cook_l2;
  EXPECT_GT(cook_l2.find(second), cook_l2.find(first)) << cook_l2;
  EXPECT_NE(log(kCookLog).find("Data Type:,Cook\r\nLog Counts:,1\r\n"), std::string::npos) << "a counter of its own";
}

// With the water line the frame's every line is taken, the water line
// printed after the noise line; reset_image_capture keeps the setting.
TEST_F(ImageRecord, WaterLineColumns) {
  sim.update([](sim::ControllerState& s) { s.panel.water_line = true; });
  set_water_line_enabled(0, 0, 1);
  alloc_image_buffer(0, 0);
  ASSERT_EQ(reset_image_capture(0, 0), 0);
  ASSERT_EQ(capture_image_record(0, 0, 2), 0);
  set_water_line_enabled(0, 0, 0);
  EXPECT_EQ(log(kStrayL2Log), kHeader + "Data Type:,StrayL2\r\nLog Counts:,1\r\nImage Data Start\r\n"
                                        "Rx[ 00 ],12,0,40,45\r\nRx[ 01 ],12,0,41,46\r\nRx[ 02 ],12,0,42,47\r\n"
                                        ",Noise,Water,Tx[00],Tx[01],\r\nImage Data End\r\n\r\n\r\n");
}

// One report carries at most 29 values: columns 28/29 and 57/58 are where
// one report of a line ends and the next begins.
TEST_F(ImageRecord, ColumnsAcrossReportBoundaries) {
  struct Case {
    int rx;
    const char* last_rows;  // stray Rx[r]: noise 12, then 40 + r and 45 + r
  };
  const Case cases[] = {
      {29, "Rx[ 27 ],12,67,72\r\nRx[ 28 ],12,68,73\r\n,Noise,"},
      {30, "Rx[ 28 ],12,68,73\r\nRx[ 29 ],12,69,74\r\n,Noise,"},
      {58, "Rx[ 56 ],12,96,101\r\nRx[ 57 ],12,97,102\r\n,Noise,"},
      {59, "Rx[ 57 ],12,97,102\r\nRx[ 58 ],12,98,103\r\n,Noise,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rx);
    sensor(c.rx, 2);
    alloc_image_buffer(0, 0);
    ASSERT_EQ(capture_image_record(0, 0, 2), 0);
    const std::string text = log(kStrayL2Log);
    EXPECT_NE(text.find("Image Data Start\r\nRx[ 00 ],12,40,45\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(c.last_rows), std::string::npos) << text;
    std::remove(library.log_paths.slots[kStrayL2Log]);
  }
}

// Reports for a line past the frame and past its last channel are dropped:
// the record is the clean one.
TEST_F(ImageRecord, ReportsOutsideTheFrameAreDropped) {
  sim.update([](sim::ControllerState& s) { s.panel.defects.outside_reports = true; });
  alloc_image_buffer(0, 0);
  ASSERT_EQ(capture_image_record(0, 0, 2), 0);
  EXPECT_EQ(log(kStrayL2Log), kHeader + "Data Type:,StrayL2\r\nLog Counts:,1\r\nImage Data Start\r\n"
                                        "Rx[ 00 ],12,40,45\r\nRx[ 01 ],12,41,46\r\nRx[ 02 ],12,42,47\r\n" +
                                  kFooter);
}

// A stream that stops after the first two reports of a frame: the capture
// gives up after its 5 seconds and writes what arrived, without a message.
TEST_F(ImageRecord, SlowStreamStoppingMidFrameIsWrittenAfterFiveSeconds) {
  sim.update([](sim::ControllerState& s) { s.stream.report_limit = 2; });
  alloc_image_buffer(0, 0);
  test::Stopwatch watch;
  testing::internal::CaptureStdout();
  ASSERT_EQ(capture_image_record(0, 0, 2), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_GT(watch.ms(), 4900);
  EXPECT_LT(watch.ms(), 8000);
  EXPECT_EQ(log(kStrayL2Log), kHeader + "Data Type:,StrayL2\r\nLog Counts:,1\r\nImage Data Start\r\n"
                                        "Rx[ 00 ],12,40,0\r\nRx[ 01 ],12,41,0\r\nRx[ 02 ],12,42,0\r\n" +
                                  kFooter);
}

}  // namespace
}  // namespace tmode
