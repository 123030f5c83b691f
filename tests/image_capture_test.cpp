// Image captures against the simulated controller's 'J' frame streams:
// single-shot records, saturation pairs, touch information, dropped and
// stray reports, and the continuous double buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics/image_capture.h"
#include "library/library_state.h"
#include "link/reply_wait.h"
#include "maintenance/parameter_blocks.h"
#include "sim/sensor_frames.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"
#include "tests/support/text_shape.h"

namespace tmode {
namespace {

class ImageCapture : public test::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    for (int slot = 0; slot < kLogSlots; ++slot) {
      std::snprintf(library.log_paths.slots[slot], kLogPathSize, "%s", scratch.file("slot" + std::to_string(slot) + ".csv").c_str());
    }
    library.frame.water_line_enabled = false;
    sensor(3, 2);
  }
  void TearDown() override {
    free_image_buffer(0, 0);
    for (auto& slot : library.log_paths.slots) std::snprintf(slot, kLogPathSize, "Log.csv");
    SimLinkTest::TearDown();
  }

  void sensor(int rx, int tx) {
    sim.update([&](sim::ControllerState& s) {
      s.family.rx_channels = static_cast<uint8_t>(rx);
      s.family.tx_channels = static_cast<uint8_t>(tx);
      s.panel.rx_lines = rx;
      s.panel.tx_lines = tx;
    });
  }
  sim::Frame sim_frame(uint16_t word) {
    sim::Frame frame;
    sim::produce_frame(sim.state(), word, frame);
    return frame;
  }
  std::string log(LogSlot slot) { return test::read_file(library.log_paths.slots[slot]); }

  test::ScratchDir scratch;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      out.push_back(text.substr(at));
      break;
    }
    out.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

TEST_F(ImageCapture, RawL2RecordCarriesTheFrame) {
  alloc_image_buffer(0, 0);
  const uint32_t before = library.capture.log_counters[0];
  ASSERT_EQ(capture_image_record(0, 0, 0), 0);
  const sim::Frame f = sim_frame(0x4000);
  ASSERT_EQ(f.lines, 4);
  const auto v = [&](int line, int r) { return f.values[static_cast<size_t>(line * 3 + r)]; };
  const std::vector<std::string> lines = lines_of(log(kRawL2Log));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_TRUE(test::has_shape(lines[0], "Date:,####/##/##")) << lines[0];
  EXPECT_TRUE(test::has_shape(lines[1], "Time:,##:##:##")) << lines[1];
  const std::vector<std::string> rest(lines.begin() + 2, lines.end());
  std::vector<std::string> expected = {"Freqency Index:,3", "Error Code:,0x0A0B0100", "Data Type:,RawL2",
                                       "Log Counts:," + std::to_string(before + 1), "Image Data Start"};
  for (int r = 0; r < 3; ++r) {
    std::ostringstream row;
    // The noise line, then the Tx lines; the frame's last line is not taken.
    row << "Rx[ 0" << r << " ]," << v(0, r) << "," << v(1, r) << "," << v(2, r);
    expected.push_back(row.str());
  }
  expected.insert(expected.end(), {",Noise,Tx[ 00 ],Tx[ 01 ],", "Image Data End", "", ""});
  EXPECT_EQ(rest, expected);
  EXPECT_EQ(library.capture.log_counters[0], before + 1);
}

TEST_F(ImageCapture, WithoutABufferThereIsNoRecord) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(capture_image_record(0, 0, 3), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "malloc fail\n");
  EXPECT_FALSE(test::file_exists(library.log_paths.slots[kRawLog]));
}

TEST_F(ImageCapture, ReportsPerLineFollowTheRxCount) {
  const int cases[][2] = {{29, 1}, {30, 2}, {58, 2}, {59, 3}};
  for (const auto& c : cases) {
    sensor(c[0], 2);
    ASSERT_EQ(reset_image_capture(0, 0), 0);
    EXPECT_EQ(library.capture.packets_per_line, c[1]) << c[0];
  }
}

TEST_F(ImageCapture, FramesOfTwoOrThreeReportsPerLineAreAssembled) {
  for (int rx : {30, 59}) {
    SCOPED_TRACE(rx);
    sensor(rx, 2);
    alloc_image_buffer(0, 0);
    ASSERT_EQ(capture_image_record(0, 0, 3), 0);
    const sim::Frame f = sim_frame(0x4004);
    const std::string text = log(kRawLog);
    std::ostringstream last_row;
    last_row << "Rx[ " << rx - 1 << " ]," << f.values[static_cast<size_t>(rx - 1)] << ","
             << f.values[static_cast<size_t>(rx + rx - 1)] << "," << f.values[static_cast<size_t>(2 * rx + rx - 1)]
             << "\r\n";
    EXPECT_NE(text.find(last_row.str()), std::string::npos) << text;
    std::remove(library.log_paths.slots[kRawLog]);
  }
}

TEST_F(ImageCapture, ADroppedReportCostsARetryNotTheRecord) {
  sim.update([](sim::ControllerState& s) { s.panel.defects.lost_report = 1; });
  alloc_image_buffer(0, 0);
  test::Stopwatch watch;
  ASSERT_EQ(capture_image_record(0, 0, 0), 0);
  EXPECT_LT(watch.ms(), 2000) << "accepted after three retries, not after the 5-second wait";
  // Report 1 is line 1: it never arrived, so the node reads 0.
  EXPECT_NE(log(kRawL2Log).find("Rx[ 00 ],12,0,"), std::string::npos) << log(kRawL2Log);
}

// 'J' reports [0x03, 3 + 2n, 'J', line, first Rx, values].
sim::Bytes j_report(int line, int first, std::vector<uint8_t> value_bytes) {
  sim::Bytes r = {0x03, static_cast<uint8_t>(3 + value_bytes.size()), 'J', static_cast<uint8_t>(line),
                  static_cast<uint8_t>(first)};
  for (const uint8_t b : value_bytes) r.push_back(b);
  return r;
}

TEST_F(ImageCapture, SaturationPairsByDataMode) {
  sensor(2, 1);
  // The frames are the test's own reports: the simulated saturation stream stays silent.
  sim.update([](sim::ControllerState& s) { s.stream.frame_limit = 0; });
  struct Case {
    int code;
    const char* row;
    const char* mode;
  };
  const Case cases[] = {{128, "Rx[ 00 ],7,", "Data Mode:,ABS"},
                        {129, "Rx[ 00 ],9,", "Data Mode:,MAX"},
                        {130, "Rx[ 00 ],-6,", "Data Mode:,MIN"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    sim::Fault frame = sim::late_reply('?', 'H', 0);
    frame.when = [](const sim::Bytes& p) { return p[2] == 0x20 && p[3] == 0x40; };
    frame.extra = {{20, j_report(0, 1, {0x01, 0x01, 0x02, 0x02})},  // Rx 1 and 2: outside the frame
                   {25, j_report(3, 0, {0x01, 0x01})},              // line 3: outside the frame
                   {30, j_report(0, 0, {0xFA, 0x09, 0x00, 0x00})}};  // (A -6, B 9), (0, 0)
    sim.add_fault(frame);
    alloc_image_buffer(0, 0);
    test::Stopwatch watch;
    ASSERT_EQ(capture_image_record(0, 0, c.code), 0);
    EXPECT_LT(watch.ms(), 2000);
    const std::string text = log(kSatLog);
    EXPECT_NE(text.find(std::string(c.mode) + "\r\nImage Data Start\r\n" + c.row), std::string::npos) << text;
    std::remove(library.log_paths.slots[kSatLog]);
  }
}

TEST_F(ImageCapture, SaturationL2OnlyForItsModels) {
  library.model_code = 10;
  alloc_image_buffer(0, 0);
  EXPECT_EQ(capture_image_record(0, 0, 112), 0);
  EXPECT_FALSE(test::file_exists(library.log_paths.slots[kSatL2Log]));
  library.model_code = 0;
}

TEST_F(ImageCapture, TouchInfoRecord) {
  sim.update([](sim::ControllerState& s) { s.touch_stream.max_noise = {345}; });
  alloc_image_buffer(0, 0);
  ASSERT_EQ(capture_image_record(0, 0, 11), 0);
  const std::string text = log(kTouchInfoLog);
  EXPECT_NE(text.find("Data Type:,Touch Info\r\nLog Counts:,"), std::string::npos);
  EXPECT_NE(text.find("Touch Info:\r\n,FreqIndex:,,003\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(",MaxNoise:,,00345\r\n,MaxNoiseCh:,,007\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Image Data Start"), std::string::npos);
}

TEST_F(ImageCapture, ContinuousCaptureDeliversFramesWhileTheCallerReads) {
  sensor(3, 2);
  ASSERT_EQ(start_image_stream(0, 0), 0);
  ASSERT_EQ(select_parameter_area(0, 0, 0x4000), 0);
  std::vector<uint8_t> table(kImageTableBytes);
  int fresh = 0;
  test::Stopwatch watch;
  while (fresh < 20 && watch.ms() < 5000) {
    fresh += get_image_frame(0, 0, 0, table.data());
    sleep_ms(1);
  }
  EXPECT_EQ(fresh, 20);
  ASSERT_EQ(select_parameter_area(0, 0, 0x8000), 0);
  sleep_ms(30);
  get_image_frame(0, 0, 0, table.data());
  EXPECT_EQ(get_image_frame(0, 0, 0, table.data()), 0) << "a frame is processed once";
  const sim::Frame f = sim_frame(0x4000);
  int16_t node = 0;
  std::memcpy(&node, table.data() + 2 * (2 * kTableColumns + 1), 2);  // table line 2, Rx 1
  EXPECT_EQ(node, f.values[1 * 3 + 1]) << "frame line 1 (the first Tx line) at table line 2";
  EXPECT_EQ(stop_image_stream(0, 0), 0);
}

TEST_F(ImageCapture, ContinuousCaptureStopsCleanlyMidStream) {
  sensor(59, 40);  // three reports per line, 126 reports a frame
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(start_image_stream(0, 0), 0);
    ASSERT_EQ(select_parameter_area(0, 0, 0x4000), 0);
    sleep_ms(round % 7);
    EXPECT_EQ(stop_image_stream(0, 0), 0);
  }
  select_parameter_area(0, 0, 0x8000);
}

}  // namespace
}  // namespace tmode
