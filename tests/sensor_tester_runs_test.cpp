// The sensor tester's test runs end to end against the simulated panel: a
// clean panel passes, each defect fails the run with its line, and every
// run gives the controller back its stop commands and closes its log.
#include <gtest/gtest.h>

#include <string>

#include "library/library_state.h"
#include "maintenance/byte_order.h"
#include "sim/parameter_store.h"
#include "tester/test_operations.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sensor_test_bench.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::ScratchDir;

constexpr int kHardware = 1;
constexpr int kConfiguration = 8;  // the sensor configuration's offset in the hardware block
constexpr OpenTestValues kOpenValues = {1000, 1000, 1000, 300, 300, 0};

class SensorTesterRuns : public test::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    std::snprintf(library.log_paths.slots[0], sizeof library.log_paths.slots[0], "%s", dir.file("main.csv").c_str());
    test::write_file(ini, "[Sensor Test]\nShortTestThreshold=30\n");
    // A flat panel: neighbouring driving lines read alike, so the mutual
    // test passes whatever its threshold. The controller's block carries an
    // open-scaling word of 10, multiply mode (the raw values as they are).
    sim.update([](sim::ControllerState& s) {
      s.panel.flat = true;
      s.panel.defects = {};
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
  std::string main_log() { return test::read_file(dir.file("main.csv")); }

  ScratchDir dir;
  std::string ini = dir.file("tuning.ini");
};

// One row per panel: the diagnostic run and each test alone.
TEST_F(SensorTesterRuns, DISABLED_DiagnosticRunsPassACleanPanelAndFailEachDefect) {
  struct Row {
    const char* panel;
    sim::PanelDefects defects;
    int diagnostic, open, short_test, mutual_cap;
  };
  const Row rows[] = {
      {"clean", {}, 0, 0, 0, 0},
      {"open Tx 3", test::with({{&sim::PanelDefects::open_tx, 3}}), -1, -1, 0, -1},
      {"dip Rx 5", test::with({{&sim::PanelDefects::dip_rx, 5}}), -1, -1, 0, 0},
      {"short Rx 3", test::with({{&sim::PanelDefects::short_rx, 3}}), -1, 0, -1, 0},
      {"noisy node", test::noisy_node(5, 10, 380), -1, 0, 0, -1},
  };
  const int mutual_values[3] = {20, 0, 0};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.panel);
    defect(row.defects);
    std::string out = test::capture_stdout(
        [&] { EXPECT_EQ(run_diagnostic_tests(0, 0, ini.c_str(), 0, kOpenValues), row.diagnostic); });
    const size_t fail_line = out.find("Diagnostic test fail");
    EXPECT_EQ(fail_line != std::string::npos, row.diagnostic == -1) << out;
    if (fail_line != std::string::npos) {
      EXPECT_EQ(out.find("Diagnostic test fail", fail_line + 1), std::string::npos) << "printed once";
    }
    const std::string log = main_log();
    EXPECT_NE(log.find("TUNER MajorVersion: 0, MinorVersion: 1, Bulid NO: 40, Test2 For Test Only"), std::string::npos);
    EXPECT_NE(log.find("Start Open Test"), std::string::npos);
    EXPECT_NE(log.find("Start Short Test"), std::string::npos);
    EXPECT_NE(log.find("Start Mutual Cap Test"), std::string::npos);

    test::capture_stdout([&] {
      EXPECT_EQ(run_open_test(0, 0, ini.c_str(), 0, kOpenValues), row.open);
      EXPECT_EQ(run_short_test(0, 0, ini.c_str(), 1), row.short_test);
      EXPECT_EQ(run_mutual_cap_test(0, 0, ini.c_str(), 1, mutual_values), row.mutual_cap);
    });
    std::remove(dir.file("main.csv").c_str());
  }
}

TEST_F(SensorTesterRuns, HardwareParametersThatCannotBeLoadedRunNoTest) {
  // Every read of the hardware block comes back for another position.
  sim.add_fault(sim::wrong_byte('?', 'J', 5, 0xEE, -1));
  sim.clear_traffic();
  const std::string out = test::capture_stdout([&] {
    EXPECT_EQ(run_diagnostic_tests(0, 0, ini.c_str(), 0, kOpenValues), 0);
    EXPECT_EQ(run_calibration_tests(0, 0, 7, 0x880, 10, 10, 0, 25), -1);
  });
  EXPECT_EQ(out, "Load hardware parameter fail!\nLoad hardware parameter fail!\n");
  for (const auto& command : sim.received_commands()) {
    EXPECT_FALSE(command.size() >= 4 && command[2] == '?' && command[3] == 'S') << "no test ran";
  }
  EXPECT_FALSE(test::file_exists(dir.file("main.csv")));
}

TEST_F(SensorTesterRuns, DISABLED_CalibrationStoresItsResultWithAndWithoutTheTests) {
  struct Case {
    int bits;
    int expected;
  };
  for (const Case& c : {Case{0, 0}, Case{0x80, 0}, Case{0x800, 0}, Case{0x880, 0}}) {
    SCOPED_TRACE(c.bits);
    const int commits = sim.state().parameters.commits;
    test::capture_stdout([&] { EXPECT_EQ(run_calibration_tests(0, 0, 7, c.bits, 50, 500, 0, 25), c.expected); });
    EXPECT_GT(sim.state().parameters.commits, commits) << "the calibration is stored";
    const std::string log = main_log();
    EXPECT_EQ(log.find("HW Bias Test") != std::string::npos, (c.bits & 0x80) != 0) << log;
  }
}

}  // namespace
}  // namespace tmode
