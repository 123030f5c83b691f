// The report trace: recorded from a session with the simulated controller,
// then replayed by a simulator that answers only from the recording.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "link/discovery.h"
#include "link/link.h"
#include "link/report_trace.h"
#include "protocol/controller_info.h"
#include "protocol/touch_mode.h"
#include "sim/replay_script.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::ScratchDir;

struct Session {
  char model[64] = {};
  char firmware[64] = {};
  uint8_t mode = 0xFF;
  int set_result = -2;
};

// The same library calls each time.
Session run_session() {
  Session s;
  get_model_name(0, 0, s.model);
  get_firmware_version(0, 0, s.firmware);
  s.set_result = set_touch_mode(0, 0, 2);
  get_touch_mode(0, 0, &s.mode);
  return s;
}

// "<digits>.<6 digits> <'>' or '<'>" and one or more " hh" in lower-case hex.
bool is_trace_line(const std::string& line) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto hex = [&](char c) { return digit(c) || (c >= 'a' && c <= 'f'); };
  size_t i = 0;
  while (i < line.size() && digit(line[i])) ++i;
  if (i == 0 || i + 10 > line.size() || line[i] != '.') return false;
  for (size_t k = 1; k <= 6; ++k) {
    if (!digit(line[i + k])) return false;
  }
  i += 7;
  if (line[i] != ' ' || (line[i + 1] != '<' && line[i + 1] != '>')) return false;
  i += 2;
  if (i == line.size() || (line.size() - i) % 3 != 0) return false;
  for (; i < line.size(); i += 3) {
    if (line[i] != ' ' || !hex(line[i + 1]) || !hex(line[i + 2])) return false;
  }
  return true;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ReportTrace : public test::SimLinkTest {
 protected:
  void TearDown() override {
    close_report_trace_file();
    SimLinkTest::TearDown();
  }
  ScratchDir dir;
};

TEST_F(ReportTrace, RecordedSessionReplaysWithTheSameResults) {
  sim.update([](sim::ControllerState& s) {
    s.model_name = "PLVX-7100";
    s.touch_mode = 1;
  });
  const std::string path = dir.file("session.trace");
  ASSERT_EQ(open_report_trace_file(path.c_str()), 0);
  const Session recorded = run_session();
  ASSERT_EQ(close_report_trace_file(), 0);
  EXPECT_STREQ(recorded.model, "PLVX-7100");
  EXPECT_EQ(recorded.mode, 2);

  // Every line: seconds with 6 decimals, a direction, the framed bytes
  // (no padding zeros), commands and replies taking turns.
  const std::vector<std::string> lines = lines_of(test::read_file(path));
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[0], "# tmode report trace 1: seconds, > written or < read, bytes");
  int written = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(is_trace_line(lines[i])) << lines[i];
    const std::string bytes = lines[i].substr(lines[i].find(' ') + 3);
    const int length = std::stoi(bytes.substr(3, 2), nullptr, 16);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(3 * (length + 2) - 1)) << lines[i];
    written += lines[i].find(" > ") != std::string::npos;
  }
  EXPECT_EQ(written, 5) << test::read_file(path);  // E, D, two for the switch, the read

  // A controller in another state, answering from the recording only.
  close_link(0, 0);
  sim.stop();
  sim::Simulator replayer;
  sim::ReplayScript script;
  std::string error;
  ASSERT_TRUE(script.load(path, &error)) << error;
  replayer.set_replay(std::move(script));
  replayer.update([](sim::ControllerState& s) { s.model_name = "OTHER"; });
  ASSERT_TRUE(replayer.start_pty());
  const std::string node = replayer.pty_path();
  ASSERT_EQ(set_device_path(node.c_str(), static_cast<int>(node.size())), 1);
  ASSERT_GT(open_link(0, 0, 1), 0);
  const Session replayed = run_session();
  close_link(0, 0);
  replayer.stop();

  EXPECT_STREQ(replayed.model, recorded.model);
  EXPECT_STREQ(replayed.firmware, recorded.firmware);
  EXPECT_EQ(replayed.mode, recorded.mode);
  EXPECT_EQ(replayed.set_result, recorded.set_result);
  EXPECT_EQ(replayer.replay_mismatches(), 0u) << replayer.replay_first_mismatch();
  ASSERT_TRUE(sim.start_pty());  // for the fixture's tear-down
}

struct Counter {
  std::atomic<int> calls{0};
};

void count_call(void* context, TraceDirection, const uint8_t*, int) {
  static_cast<Counter*>(context)->calls++;
}

TEST_F(ReportTrace, CallbackSeesBothDirectionsAndNothingAfterRemoval) {
  Counter counter;
  set_report_trace(count_call, &counter);
  uint8_t mode = 0;
  ASSERT_EQ(get_touch_mode(0, 0, &mode), 1);
  set_report_trace(nullptr, nullptr);
  EXPECT_EQ(counter.calls.load(), 2);
  ASSERT_EQ(get_touch_mode(0, 0, &mode), 1);
  EXPECT_EQ(counter.calls.load(), 2);
}

TEST(ReportTraceFile, RefusesAPathThatCannotBeCreated) {
  ScratchDir dir;
  EXPECT_EQ(open_report_trace_file(dir.file("missing/x.trace").c_str()), -1);
  EXPECT_EQ(open_report_trace_file(nullptr), -1);
  EXPECT_EQ(close_report_trace_file(), 0);
}

// The replay's matching, line by line.
TEST(ReplayScript, AnswersInTurnAndCountsCommandsOffTheRecording) {
  ScratchDir dir;
  test::write_file(dir.file("t"),
                   "# comment\n"
                   "0.000000 > 03 02 3f 58\n"
                   "0.002000 < 03 03 3f 58 07\n"
                   "0.012400 < 03 02 3f 51\n"
                   "0.020000 > 03 02 3f 4e\n"
                   "0.020500 < 03 03 3f 4e 01\n");
  sim::ReplayScript script;
  std::string error;
  ASSERT_TRUE(script.load(dir.file("t"), &error)) << error;

  sim::Bytes padded = {0x03, 0x02, '?', 'X'};
  padded.resize(64, 0);  // as a HID write pads it
  const auto first = script.answer(padded);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].delay_ms, 2);
  EXPECT_EQ(first[0].report, test::bytes({0x03, 0x03, '?', 'X', 7}));
  EXPECT_EQ(first[1].delay_ms, 12);
  EXPECT_TRUE(script.answer({0x03, 0x02, '?', 'M'}).empty());
  EXPECT_EQ(script.first_mismatch(), "command 2: expected 03 02 3f 4e, got 03 02 3f 4d");
  EXPECT_EQ(script.answer({0x03, 0x02, '?', 'N'}).size(), 1u);
  EXPECT_TRUE(script.finished());
  EXPECT_TRUE(script.answer({0x03, 0x02, '?', 'N'}).empty());
  EXPECT_EQ(script.mismatches(), 2u);
}

TEST(ReplayScript, RefusesWhatIsNotATrace) {
  ScratchDir dir;
  struct Case {
    const char* text;
    const char* error;
  };
  for (const Case& c : {Case{"0.1 = 03 02\n", ":1: not a trace line"}, Case{"x > 03\n", ":1: not a trace line"},
                        Case{"# ok\n0.1 > 03 0g\n", ":2: bad byte \"0g\""},
                        Case{"0.1 > 3 02\n", ":1: bad byte \"3\""}, Case{"-1 > 03\n", ":1: not a trace line"}}) {
    SCOPED_TRACE(c.text);
    test::write_file(dir.file("t"), c.text);
    sim::ReplayScript script;
    std::string error;
    EXPECT_FALSE(script.load(dir.file("t"), &error));
    EXPECT_EQ(error, dir.file("t") + c.error);
  }
  sim::ReplayScript script;
  std::string error;
  EXPECT_FALSE(script.load(dir.file("none"), &error));
  EXPECT_EQ(error, dir.file("none") + ": cannot be read");
}

}  // namespace
}  // namespace tmode
