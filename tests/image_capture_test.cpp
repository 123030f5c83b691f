// Image captures against the simulated controller's 'J' frame streams:
// the frame assembly, touch information, and the continuous double buffer
// at the stream's full rate, with its faults. The records of each data type
// are in image_record_test.cpp.
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
#include "tests/support/image_capture_fixture.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"
#include "tests/support/text_shape.h"

namespace tmode {
namespace {

class ImageCapture : public test::ImageCaptureTest {};

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

TEST_F(ImageCapture, ADroppedReportCostsARetryNotTheRecord) {
  sim.update([](sim::ControllerState& s) { s.panel.defects.lost_report = 1; });
  alloc_image_buffer(0, 0);
  test::Stopwatch watch;
  ASSERT_EQ(capture_image_record(0, 0, 0), 0);
  EXPECT_LT(watch.ms(), 2000) << "accepted after three retries, not after the 5-second wait";
  // Report 1 is line 1, the first Tx line: it never arrived, so its nodes read 0.
  EXPECT_NE(log(kRawL2Log).find("Image Data Start\r\nRx[ 00 ],12,0,"), std::string::npos) << log(kRawL2Log);
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
  fresh += get_image_frame(0, 0, 0, table.data());
  EXPECT_EQ(get_image_frame(0, 0, 0, table.data()), 0) << "a frame is processed once";
  const sim::Frame f = sim_frame(0x4000);
  int16_t node = 0;
  std::memcpy(&node, table.data() + 2 * (2 * kTableColumns + 1), 2);  // table line 2, Rx 1
  EXPECT_EQ(node, f.values[1 * 3 + 1]) << "frame line 1 (the first Tx line) at table line 2";
  EXPECT_EQ(library.capture.frames_processed.load(), static_cast<uint32_t>(fresh));
  EXPECT_EQ(stop_image_stream(0, 0), 0);
}

// Frames back to back, as fast as the pty carries them: the reader thread
// completes every frame the simulator wrote, and each one is processed by
// the waiting caller or counted as replaced unseen.
TEST_F(ImageCapture, ContinuousCaptureLosesNoFrameAtFullRate) {
  sensor(18, 28);  // 30 reports a frame
  sim.update([](sim::ControllerState& s) {
    s.stream.interval_ms = 0;
    s.stream.frame_limit = 300;
  });
  ASSERT_EQ(start_image_stream(0, 0), 0);
  ASSERT_EQ(select_parameter_area(0, 0, 0x4002), 0);
  std::vector<uint8_t> table(kImageTableBytes);
  int fresh = 0;
  test::Stopwatch watch;
  while (library.capture.frames_completed.load() < 300 && watch.ms() < 20000) {
    wait_image_frame(0, 0, 100);
    fresh += get_image_frame(0, 0, 2, table.data());
  }
  fresh += get_image_frame(0, 0, 2, table.data());
  EXPECT_EQ(sim.state().stream.frames, 300);
  EXPECT_EQ(sim.dropped_writes(), 0u);
  EXPECT_EQ(library.capture.frames_completed.load(), 300u) << "every frame written was collected";
  EXPECT_EQ(library.capture.frames_retried.load(), 0u) << "no frame came short of a report";
  // Each frame was either processed or replaced unseen; how many a caller
  // misses depends on when it is scheduled (bench/continuous_capture).
  EXPECT_EQ(static_cast<uint32_t>(fresh) + library.capture.frames_unseen.load(), 300u);
  EXPECT_GT(fresh, 0);
  // Stray node (t, r) = 40 + 5t + r: Tx 27 (frame line 28) at table line 29, Rx 17.
  EXPECT_EQ(test::table_node(table, 29, 17), 192);
  EXPECT_EQ(stop_image_stream(0, 0), 0);
}

// Reports outside the frame are dropped, a lost report costs that frame,
// a frame that never ends delivers nothing, and a stream that stops
// mid-frame leaves the last whole frame in place.
TEST_F(ImageCapture, ContinuousCaptureUnderStreamFaults) {
  struct Case {
    const char* name;
    void (*fault)(sim::ControllerState&);
    uint32_t completed;  // of 20 frames of 4 reports
  };
  const Case cases[] = {
      {"reports outside the frame", [](sim::ControllerState& s) { s.panel.defects.outside_reports = true; }, 20},
      // Every frame lacks line 1: three frames pass as retries, the fourth is
      // taken as it is, and so on.
      {"a report lost from every frame", [](sim::ControllerState& s) { s.panel.defects.lost_report = 1; }, 5},
      {"frames that never end", [](sim::ControllerState& s) { s.panel.defects.unended_frames = true; }, 0},
      {"a stream that stops in frame 8", [](sim::ControllerState& s) { s.stream.report_limit = 7 * 4 + 2; }, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim.update([&](sim::ControllerState& s) {
      s.panel.defects = {};
      s.stream.frame_limit = 20;
      s.stream.report_limit = -1;
      s.stream.interval_ms = 1;
      c.fault(s);
    });
    ASSERT_EQ(start_image_stream(0, 0), 0);
    ASSERT_EQ(select_parameter_area(0, 0, 0x4002), 0);
    test::Stopwatch watch;
    while (sim.state().stream.active && watch.ms() < 5000) sleep_ms(5);
    sleep_ms(50);
    EXPECT_EQ(library.capture.frames_completed.load(), c.completed);
    std::vector<uint8_t> table(kImageTableBytes);
    EXPECT_EQ(get_image_frame(0, 0, 2, table.data()), c.completed > 0 ? 1 : 0);
    if (c.completed == 20) {
      EXPECT_EQ(test::table_node(table, 2, 0), 40) << "Stray Tx 0, Rx 0";
      EXPECT_EQ(test::table_node(table, 3, 2), 47) << "Stray Tx 1, Rx 2";
    }
    EXPECT_EQ(wait_image_frame(0, 0, 50), 0) << "nothing new after the stream ended";
    EXPECT_EQ(stop_image_stream(0, 0), 0);
    ASSERT_EQ(select_parameter_area(0, 0, 0x8000), 0);
  }
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
