// The sensor tester's test runs end to end against the simulated panel: a
// clean panel passes, each defect fails the run with its line, the
// calibration is stored with and without its tests, and every run closes
// its log and leaves no short-test handler behind.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/open_short_tests.h"
#include "library/library_state.h"
#include "protocol/controller_commands.h"
#include "sim/command_table.h"
#include "sim/parameter_store.h"
#include "sim/sensor_setup.h"
#include "tester/test_operations.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sensor_test_bench.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"

namespace tmode {
namespace {

using test::ScratchDir;

constexpr int kHardware = 1;
constexpr int kConfiguration = 8;  // the sensor configuration's offset in the hardware block
// Tx and Rx thresholds 1000, option threshold 1000, diff thresholds 300,
// edge tolerance 0.
constexpr OpenTestValues kOpenValues = {1000, 1000, 1000, 300, 300, 0};
// Threshold 20, no last-Rx or corner tolerance.
constexpr int kMutualValues[3] = {20, 0, 0};

int open_descriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

class SensorTesterRuns : public test::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    std::snprintf(library.log_paths.slots[0], sizeof library.log_paths.slots[0], "%s", dir.file("main.csv").c_str());
    // Three frames a mutual test: a spike on one sample in three shows in
    // every average.
    test::write_file(ini, "[Sensor Test]\nShortTestThreshold=30\nMutualCapTestGetTimes=3\n");
    // A flat panel whose stored sensor configuration describes it (one
    // driving chip of 16 lines, two sensing chips of 14), its front end at
    // a gain of 1 so that a raw frame reads 600 x (1 + 0.002 r) on every
    // driving line, and an open-scaling word of 10, multiply mode (the raw
    // values as they are). No mutual-scaling word: the test falls back to
    // the open scaling.
    sim.update([](sim::ControllerState& s) {
      s.panel.flat = true;
      s.panel.defects = {};
      ASSERT_TRUE(sim::apply_panel_geometry(s));
      test::unity_front_end(s);
      std::vector<uint8_t>& block = s.parameters.working[kHardware];
      block[kConfiguration + 78] = 0x0A;
      block[kConfiguration + 79] = 0x80;
      s.parameters.seal(kHardware);
      s.parameters.committed = s.parameters.working;
    });
  }
  void TearDown() override {
    std::snprintf(library.log_paths.slots[0], sizeof library.log_paths.slots[0], "Log.csv");
    SimLinkTest::TearDown();
  }
  void defect(const sim::PanelDefects& d) {
    sim.update([&](sim::ControllerState& s) { s.panel.defects = d; });
  }
  std::string take_log() {
    std::string text = test::read_file(dir.file("main.csv"));
    std::remove(dir.file("main.csv").c_str());
    return text;
  }

  ScratchDir dir;
  std::string ini = dir.file("tuning.ini");
};

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The result of a run whose standard output is not wanted (the result is
// checked outside, where a failure's message is seen).
template <typename Run>
int quietly(Run run) {
  int result = 0;
  test::capture_stdout([&] { result = run(); });
  return result;
}

// Node (t, r) jumping by size on one sample in three.
sim::PanelDefects noise_spike(int t, int r, int size) {
  sim::PanelDefects d;
  d.sample_spike = {t, r, size, 3};
  return d;
}

// One row per panel: the diagnostic run (0 or -1) and its failing tests'
// verdict lines, then each test alone (0 pass, -1 fail).
TEST_F(SensorTesterRuns, DiagnosticRunPassesACleanPanelAndFailsEachDefect) {
  struct Row {
    const char* panel;
    sim::PanelDefects defects;
    int diagnostic;
    bool open_fails, short_fails, mutual_fails;  // in the diagnostic run
    int open, short_test, mutual_cap;            // each test alone
  };
  const Row rows[] = {
      {"clean", {}, 0, false, false, false, 0, 0, 0},
      {"open Tx 3", test::with({{&sim::PanelDefects::open_tx, 3}}), -1, true, false, true, -1, 0, -1},
      {"dip Rx 5", test::with({{&sim::PanelDefects::dip_rx, 5}}), -1, true, false, false, -1, 0, 0},
      {"short Rx 3", test::with({{&sim::PanelDefects::short_rx, 3}}), -1, false, true, false, 0, -1, 0},
      {"noisy node", test::noisy_node(5, 10, 3000), -1, false, false, true, 0, 0, -1},
      {"noise spike", noise_spike(5, 10, 4000), -1, false, false, true, 0, 0, -1},
      {"dead chip 1", test::with({{&sim::PanelDefects::dead_chip, 1}}), -1, true, false, false, -1, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.panel);
    defect(row.defects);
    int result = 0;
    const std::string out = test::capture_stdout([&] { result = run_diagnostic_tests(0, 0, ini.c_str(), 0, kOpenValues); });
    EXPECT_EQ(result, row.diagnostic);
    // Printed once, at the end, without a line end.
    const std::string fail_text = "Diagnostic test fail";
    const bool ends_with_fail =
        out.size() >= fail_text.size() && out.compare(out.size() - fail_text.size(), fail_text.size(), fail_text) == 0;
    EXPECT_EQ(ends_with_fail, row.diagnostic == -1) << out;
    EXPECT_EQ(out.find(fail_text), row.diagnostic == -1 ? out.size() - fail_text.size() : std::string::npos) << out;
    // The block has no mutual-scaling word.
    EXPECT_TRUE(has(out, "\nGet Mutual Scaling Fail Use Open Scaling")) << out;

    std::string log = take_log();
    EXPECT_TRUE(has(log, "TUNER MajorVersion: 0, MinorVersion: 1, Bulid NO: 40, Test2 For Test Only"));
    EXPECT_TRUE(has(log, row.open_fails ? "Open Test Fail\n" : "Open Test Pass\n")) << log;
    EXPECT_TRUE(has(log, row.short_fails ? "Short Test fail\n" : "Short Test pass\n")) << log;
    EXPECT_TRUE(has(log, row.mutual_fails ? "\nMutual Cap Test Fail\n" : "\nMutual Cap Test Pass\n")) << log;
    // The raw table follows the tests, with the panel's values.
    const size_t raw = log.find("\nRaw16 Data\n");
    ASSERT_NE(raw, std::string::npos);
    EXPECT_GT(raw, log.find("Finish Mutual Cap Test"));
    if (row.defects.dead_chip < 0) {
      EXPECT_TRUE(has(log, "\nRx[00],600,600,600,")) << log.substr(raw, 400);
    }

    EXPECT_EQ(quietly([&] { return run_open_test(0, 0, ini.c_str(), 0, kOpenValues); }), row.open);
    log = take_log();
    EXPECT_TRUE(has(log, "Start Open Test"));
    EXPECT_FALSE(has(log, "Start Short Test") || has(log, "Start Mutual Cap Test") || has(log, "Raw16 Data"));

    EXPECT_EQ(quietly([&] { return run_short_test(0, 0, ini.c_str(), 1); }), row.short_test);
    log = take_log();
    EXPECT_TRUE(has(log, "Start Short Test"));
    EXPECT_FALSE(has(log, "Start Open Test") || has(log, "Start Mutual Cap Test") || has(log, "Raw16 Data"));

    const std::string mutual_out =
        test::capture_stdout([&] { result = run_mutual_cap_test(0, 0, ini.c_str(), 1, kMutualValues); });
    EXPECT_EQ(result, row.mutual_cap);
    EXPECT_FALSE(has(mutual_out, "Diagnostic test fail"));
    log = take_log();
    EXPECT_TRUE(has(log, "\nMutual Cap Test threshold ,20,LastRxTolerance,0,CornerTolerance,0")) << log;
    EXPECT_TRUE(has(log, "\nRaw16 Data\n"));
    EXPECT_FALSE(has(log, "Start Open Test") || has(log, "Start Short Test"));
  }
}

TEST_F(SensorTesterRuns, HardwareParametersThatCannotBeLoadedRunNoTest) {
  // Every read of the hardware block comes back for another position.
  sim.add_fault(sim::wrong_byte('?', 'J', 5, 0xEE, -1));
  sim.clear_traffic();
  int results[5] = {};
  const std::string out = test::capture_stdout([&] {
    results[0] = run_diagnostic_tests(0, 0, ini.c_str(), 0, kOpenValues);
    results[1] = run_open_test(0, 0, ini.c_str(), 0, kOpenValues);
    results[2] = run_short_test(0, 0, ini.c_str(), 1);
    results[3] = run_mutual_cap_test(0, 0, ini.c_str(), 1, kMutualValues);
    results[4] = run_calibration_tests(0, 0, 7, 0x880, 10, 10, 0, 25);
  });
  EXPECT_EQ(std::vector<int>(results, results + 5), (std::vector<int>{0, 0, 0, 0, -1}));
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += "Load hardware parameter fail!\n";
  EXPECT_EQ(out, expected);
  for (const auto& command : sim.received_commands()) {
    EXPECT_FALSE(command.size() >= 4 && command[2] == '?' && command[3] == 'S') << "no test ran";
  }
  EXPECT_FALSE(test::file_exists(dir.file("main.csv")));
}

// The calibration is stored (a commit, the calibrated bit of Attr set) with
// and without the bias and stability tests; the tests run on real frames
// and scans, and a noisy node at Tx 15, Rx 0 (the stable test scans with
// the last driving line, and its default range is channel 0) fails each of
// them without undoing the stored
// calibration.
TEST_F(SensorTesterRuns, CalibrationStoresItsResultWithAndWithoutTheTests) {
  struct Case {
    const char* panel;
    sim::PanelDefects defects;
    int bits;
    int expected;
  };
  const Case cases[] = {
      {"clean", {}, 0, 0},
      {"clean", {}, 0x80, 0},
      {"clean", {}, 0x800, 0},
      {"clean", {}, 0x880, 0},
      {"noisy node", test::noisy_node(15, 0, 380), 0, 0},
      {"noisy node", test::noisy_node(15, 0, 380), 0x80, -1},
      {"noisy node", test::noisy_node(15, 0, 380), 0x800, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.panel) + " bits " + std::to_string(c.bits));
    defect(c.defects);
    sim.update([](sim::ControllerState& s) {
      s.parameters.working[kHardware][kConfiguration] &= 0xFE;  // Attr: not calibrated
      s.parameters.seal(kHardware);
      s.parameters.committed = s.parameters.working;
    });
    const int commits = sim.state().parameters.commits;
    sim.clear_traffic();
    EXPECT_EQ(quietly([&] { return run_calibration_tests(0, 0, 7, c.bits, 10, 200, 0, 25); }), c.expected);
    EXPECT_GT(sim.state().parameters.commits, commits) << "the calibration is stored";
    EXPECT_EQ(sim.state().parameters.committed[kHardware][kConfiguration] & 1, 1);

    int scans = 0, frame_selections = 0;
    for (const auto& command : sim.received_commands()) {
      if (command.size() >= 4 && command[2] == '?' && command[3] == 'D') ++scans;
      if (command.size() >= 6 && command[2] == '?' && command[3] == 'H' && (command[5] & 0x40) != 0) {
        ++frame_selections;
      }
    }
    const std::string log = take_log();
    EXPECT_TRUE(has(log, "Calibration Pass"));
    EXPECT_EQ(has(log, "\nHW Bias Test\n"), (c.bits & 0x80) != 0) << log;
    EXPECT_EQ(has(log, "\nStart Single End Stable Test\n"), (c.bits & 0x800) != 0) << log;
    if ((c.bits & 0x80) != 0) {
      // Four frames a phase: raw, then open-test frames.
      EXPECT_EQ(frame_selections, 8);
      EXPECT_TRUE(has(log, "Threshold:,10%,\r\n"));
      EXPECT_TRUE(has(log, c.expected == 0 ? "\nBias Test PASS\n" : "\nBias Test FAIL\n")) << log;
    }
    if ((c.bits & 0x800) != 0) {
      EXPECT_GE(scans, 100) << "the stable test scans 100 times";
      EXPECT_TRUE(has(log, "\r\nThreshold:,200,\r\n"));
      EXPECT_TRUE(has(log, c.expected == 0 ? "Rx[0],0,Pass\r\n" : ",Fail\r\n")) << log;
    }
  }
}


// A frame that one run's raw dump left marked ready is not taken by the
// next run's first read: each run reads its own frames.
TEST_F(SensorTesterRuns, EachRunReadsItsOwnFrames) {
  EXPECT_EQ(quietly([&] { return run_mutual_cap_test(0, 0, ini.c_str(), 1, kMutualValues); }), 0);
  sim.clear_traffic();
  EXPECT_EQ(quietly([&] { return run_open_test(0, 0, ini.c_str(), 0, kOpenValues); }), 0);
  int open_frames = 0;
  for (const auto& command : sim.received_commands()) {
    if (command == test::bytes({3, 4, '?', 'H', 0x80, 0x40})) ++open_frames;
  }
  EXPECT_EQ(open_frames, 1);
  const std::string log = take_log();
  EXPECT_TRUE(has(log, "OpenTest,RX[0],1500,1500\n")) << log.substr(0, 600);
}

// A frame read keeps the first complete frame: the stream runs on until the
// read stops it, and its later frames (the noisy node at the other sign)
// do not overwrite the one that completed.
TEST_F(SensorTesterRuns, FrameReadKeepsTheFrameThatCompleted) {
  defect(test::noisy_node(5, 0, 300));
  TunerPtr tuner = test::create_sim_panel_tuner();
  for (int read = 0; read < 6; ++read) {
    SCOPED_TRACE(read);
    clear_tuner_frame_flags();
    ASSERT_EQ(read_tuner_frame(*tuner, 0, 0x4004), 1);
    // The stream's first frame is sample scans + selections: even adds the
    // noise, odd takes it away.
    const sim::ControllerState state = sim.state();
    const int sample = state.registers.scans + state.stream.selections;
    EXPECT_EQ(tuner->raw_table[5][0], sample % 2 == 0 ? 900 : 300);
    EXPECT_EQ(tuner->raw_table[5][1], 601);
  }
  clear_tuner_frame_flags();
}

// Whatever way a run ends (no hardware parameters, a pass, a failing short
// test), its log is closed and the short-test handler is gone: a short
// report the controller sends afterwards changes nothing.
TEST_F(SensorTesterRuns, EveryRunClosesItsLogAndRemovesTheShortHandler) {
  struct Path {
    const char* what;
    sim::PanelDefects defects;
    bool unloadable;
  };
  const Path paths[] = {
      {"hardware parameters not loaded", {}, true},
      {"pass", {}, false},
      {"short Rx 3", test::with({{&sim::PanelDefects::short_rx, 3}}), false},
  };
  for (const Path& p : paths) {
    SCOPED_TRACE(p.what);
    defect(p.defects);
    sim.clear_faults();
    if (p.unloadable) sim.add_fault(sim::wrong_byte('?', 'J', 5, 0xEE, -1));
    const int descriptors = open_descriptors();
    quietly([&] { return run_diagnostic_tests(0, 0, ini.c_str(), 0, kOpenValues); });
    quietly([&] { return run_short_test(0, 0, ini.c_str(), 1); });
    EXPECT_EQ(open_descriptors(), descriptors) << "the log is closed";

    ShortTestBytes& bytes = library.short_bytes;
    bytes.rx_first[7] = 0;
    bytes.done.store(false);
    const uint8_t rx_report[] = {'?', 'S', 0x01, 7, 0x55, 0};
    const uint8_t end_report[] = {'?', 'S', 0x81};
    sim.send_report(sim::frame_report(rx_report));
    sim.send_report(sim::frame_report(end_report));
    // A reply to a command sent after the reports shows they were read.
    uint8_t level[4] = {};
    EXPECT_GT(read_controller_level(0, 0, level), 0);
    EXPECT_EQ(bytes.rx_first[7], 0);
    EXPECT_FALSE(bytes.done.load());
    take_log();
  }
}

}  // namespace
}  // namespace tmode
