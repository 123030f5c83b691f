// Sensor tests 1 to 4 through the driver against the simulated controller:
// the blocks as written to the main log, the rules at their boundaries, and
// the ways out that must still stop the controller's test.
#include <gtest/gtest.h>

#include <string>

#include "diagnostics/sensor_tests.h"
#include "library/library_state.h"
#include "sim/sensor_setup.h"
#include "tests/support/sensor_test_bench.h"

namespace tmode {
namespace {

class SensorTests : public test::SensorTestBench {
 protected:
  // The simulator's state after the driver's last command.
  void expect_stopped() {
    sim.update([](sim::ControllerState& s) {
      EXPECT_EQ(s.registers.select_5b, 1);
      EXPECT_EQ(s.parameters.selected_area, 0);
    });
  }
};

const char kSeparator[] =
    "////////////////////////,//////////////////////////////////////////////////////////////////////////////////,"
    "/////////////////////////////////////////////////////////////////////\r\n";

std::string block_end(const std::string& verdict) { return "\r\n" + verdict + "\r\n" + kSeparator + "\r\n"; }

TEST_F(SensorTests, Test1BlockAndItsThreshold) {
  small_panel();
  // The controller's readings at the first and last crossing line: Rx r
  // 1500 + 3r and 1509 + 3r, Tx t 1500 + 3t and 1515 + 3t; divided by 3.
  EXPECT_EQ(run_sensor_test(0, 0, 5, 0, 500, 0, 3), 0);
  std::string expected =
      "SENSOR TEST 1\r\nThreshold:,500\r\nRawScaling:,3\r\n\r\nTEST,CHANNEL,DATA-0,DATA-N,RESULT\r\n"
      "SensorTest1,Rx[ 0 ],500,503,Pass\r\nSensorTest1,Rx[ 1 ],501,504,Pass\r\nSensorTest1,Rx[ 2 ],502,505,Pass\r\n"
      "SensorTest1,Rx[ 3 ],503,506,Pass\r\nSensorTest1,Rx[ 4 ],504,507,Pass\r\nSensorTest1,Rx[ 5 ],505,508,Pass\r\n" +
      block_end("Sensor Test 1 Rx PASS") +
      "SensorTest1,Tx[ 0 ],500,505,Pass\r\nSensorTest1,Tx[ 1 ],501,506,Pass\r\nSensorTest1,Tx[ 2 ],502,507,Pass\r\n"
      "SensorTest1,Tx[ 3 ],503,508,Pass\r\n" +
      block_end("Sensor Test 1 Tx PASS");
  EXPECT_EQ(take_log(), expected);
  expect_stopped();

  EXPECT_EQ(run_sensor_test(0, 0, 5, 0, 501, 0, 3), -1);
  const std::string text = take_log();
  EXPECT_NE(text.find("SensorTest1,Rx[ 0 ],500,503,Fail\r\nSensorTest1,Rx[ 1 ],501,504,Pass\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSensor Test 1 Rx FAIL\r\n"), std::string::npos);
  EXPECT_NE(text.find("SensorTest1,Tx[ 0 ],500,505,Fail\r\n"), std::string::npos);
}

TEST_F(SensorTests, Test2JudgesTheShortReports) {
  EXPECT_EQ(run_sensor_test(0, 0, 0, 1, 30, 0, 1), 0);
  std::string text = take_log();
  EXPECT_EQ(text.rfind("SENSOR TEST 2\r\nThreshold:,30\r\n\r\nTEST,CHANNEL,DATA,RESULT\r\nShortTest,Rx[ 0 ],2,Pass\r\n"
                       "ShortTest,Rx[ 1 ],-3,Pass\r\n",
                       0),
            0u)
      << text;
  sim::PanelDefects d;
  d.short_rx = 3;
  defects(d);
  EXPECT_EQ(run_sensor_test(0, 0, 0, 1, 30, 0, 1), -1);
  text = take_log();
  EXPECT_NE(text.find("ShortTest,Rx[ 3 ],-100,Fail\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSensor Test 2 Rx FAIL\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSensor Test 2 Tx PASS\r\n"), std::string::npos);
  expect_stopped();
}

TEST_F(SensorTests, Test3BlockWithChipLabels) {
  small_panel();
  // Node readings 60 where t + r <= 4, else 61: the Tx differences are -1
  // on that diagonal.
  EXPECT_EQ(run_sensor_test(0, 0, 7, 2, 20, 5, 1), 0);
  const std::string expected =
      "SENSOR TEST 3\r\nThreshold:,20,,CornerTolerance:,5\r\nRawScaling:,1\r\nOriginPoint Location:,Upper Left\r\n\r\n"
      ",Chip-0[ 00 ],Chip-0[ 01 ],Chip-0[ 02 ],Chip-0[ 03 ],\r\n"
      "Rx[ 00 ],0,0,0,0,Chip-0[ 00 ],\r\n"
      "Rx[ 01 ],0,0,0,0,Chip-0[ 01 ],\r\n"
      "Rx[ 02 ],0,0,-1,0,Chip-0[ 02 ],\r\n"
      "Rx[ 03 ],0,-1,0,0,Chip-1[ 00 ],\r\n"
      "Rx[ 04 ],-1,0,0,0,Chip-1[ 01 ],\r\n"
      "Rx[ 05 ],0,0,0,0,Chip-1[ 02 ],\r\n"
      ",Tx[ 00 ],Tx[ 01 ],Tx[ 02 ],Tx[ 03 ],\r\n" +
      block_end("Sensor Test 3 PASS");
  EXPECT_EQ(take_log(), expected);
  expect_stopped();
}

TEST_F(SensorTests, Test3CornersAllowTheToleranceAndTheLastRxLineIsNeverJudged) {
  small_panel();
  struct Case {
    const char* what;
    int tx, rx, noise;
    int result;
    const char* line;
  };
  // Threshold 20, corner tolerance 5; the noisy node moves by a tenth of D.
  const Case cases[] = {
      {"corner at T + C", 0, 0, 250, 0, "Rx[ 00 ],25,"},
      {"corner at T + C + 1", 0, 0, 260, -1, "Rx[ 00 ],**26,"},
      {"inner node at T", 1, 1, 200, 0, "Rx[ 01 ],-20,20,"},
      {"inner node at T + 1", 1, 1, 210, -1, "Rx[ 01 ],**-21,**21,"},
      {"last Rx line", 1, 5, 1000, 0, "Rx[ 05 ],-66,66,"},
  };
  for (const Case& c : cases) {
    sim::PanelDefects d;
    d.noisy_tx = c.tx;
    d.noisy_rx = c.rx;
    d.noise = c.noise;
    defects(d);
    EXPECT_EQ(run_sensor_test(0, 0, 0, 2, 20, 5, 1), c.result) << c.what;
    const std::string text = take_log();
    EXPECT_NE(text.find(c.line), std::string::npos) << c.what << "\n" << text;
  }
}

TEST_F(SensorTests, Test4LastRxLimitAndRawScalingMinusOne) {
  small_panel();
  struct Case {
    const char* what;
    int tx, rx, noise, scaling;
    int result;
    const char* line;
  };
  // Threshold 100: the last Rx line allows 128 - (128 - 100) / 2 = 114.
  const Case cases[] = {
      {"last Rx line at 114", 2, 5, 530, 1, 0, "Rx[ 05 ],61,61,114,61,\r\n"},
      {"last Rx line at 115", 2, 5, 540, 1, -1, "Rx[ 05 ],61,61,**115,61,\r\n"},
      {"other line at 101", 2, 1, 410, 1, -1, "Rx[ 01 ],60,60,**101,60,\r\n"},
      {"other line at 100", 2, 1, 400, 1, 0, "Rx[ 01 ],60,60,100,60,\r\n"},
      {"raw scaling -1", 2, 1, 1000, -1, 0, "Rx[ 01 ],60,60,127,60,\r\n"},
  };
  for (const Case& c : cases) {
    sim::PanelDefects d;
    d.noisy_tx = c.tx;
    d.noisy_rx = c.rx;
    d.noise = c.noise;
    defects(d);
    EXPECT_EQ(run_sensor_test(0, 0, 0, 3, 100, 0, c.scaling), c.result) << c.what;
    const std::string text = take_log();
    EXPECT_EQ(text.rfind("SENSOR TEST 4\r\nThreshold:,100,,LastRx Tolerance:,14,,CornerTolerance:,0,\r\n", 0), 0u);
    EXPECT_NE(text.find(c.line), std::string::npos) << c.what << "\n" << text;
    // The raw table follows the block; model 22 skips one line of the
    // frame, so the water line leads.
    EXPECT_NE(text.find(block_end(c.result == 0 ? "Sensor Test 4 PASS" : "Sensor Test 4 FAIL") +
                        "\r\nRAW16 DATA\r\nRx[ 00 ],0,600,601,602\r\n"),
              std::string::npos)
        << text;
  }
  expect_stopped();
}

TEST_F(SensorTests, RefusedRunsSendTheStopCommandsAndWriteNoBlock) {
  struct Case {
    const char* what;
    int test, scaling, rx_channels;
  };
  const Case cases[] = {
      {"test number 4", 4, 1, 28},
      {"test number -1", -1, 1, 28},
      {"raw scaling 0", 0, 0, 28},
      {"171 Rx lines", 2, 1, 171},
  };
  for (const Case& c : cases) {
    sim.update([&](sim::ControllerState& s) { s.family.rx_channels = static_cast<uint8_t>(c.rx_channels); });
    EXPECT_EQ(run_sensor_test(0, 0, 0, c.test, 20, 0, c.scaling), -1) << c.what;
    EXPECT_EQ(take_log(), "") << c.what;
    expect_stopped();
  }
}

TEST_F(SensorTests, LogThatCannotBeOpenedKeepsTheVerdict) {
  make_log_unwritable();
  EXPECT_EQ(run_sensor_test(0, 0, 0, 1, 30, 0, 1), 0);
  sim::PanelDefects d;
  d.short_tx = 2;
  defects(d);
  EXPECT_EQ(run_sensor_test(0, 0, 0, 1, 30, 0, 1), -1);
  d = {};
  d.noisy_tx = 1;
  d.noisy_rx = 1;
  d.noise = 300;
  defects(d);
  EXPECT_EQ(run_sensor_test(0, 0, 0, 2, 20, 0, 1), -1);
}

TEST_F(SensorTests, SlowMissingEndReportGivesMinusOneAfterTenSeconds) {
  sim::PanelDefects d;
  d.missing_end_report = true;
  defects(d);
  test::Stopwatch watch;
  EXPECT_EQ(run_sensor_test(0, 0, 0, 2, 20, 0, 1), -1);
  EXPECT_GE(watch.ms(), 10000);
  EXPECT_LT(watch.ms(), 15000);
  EXPECT_EQ(take_log(), "");
  expect_stopped();
}

}  // namespace
}  // namespace tmode
