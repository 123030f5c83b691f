// The open and short tests against the simulated panel and its defects, and
// the sensor-test generation's judgement of tables already collected.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/open_short_tests.h"
#include "library/library_state.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

using test::SimLinkTest;

class OpenShort : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    tuner = create_tuner();
    test::describe_sim_panel(tuner->config.bytes);
    test::describe_sim_panel(tuner->hardware_block + hw::kSensorConfiguration);
    trace = std::make_unique<test::TunerTrace>(*tuner);
    tuner->open_scaling = 10;  // raw x 10 / 10
    tuner->params.short_test_threshold = 30;
    tuner->params.short_test_get_times = 1;
    library.frame.extra_lines = 2;
  }
  std::string trace_text() { return trace->text(); }
  // The channel lines marked Fail, e.g. "RX[5]".
  static std::string failed(const std::string& text) {
    std::string out;
    size_t at = 0;
    while ((at = text.find(",Fail\n", at)) != std::string::npos) {
      const size_t start = text.rfind('\n', at) + 1;
      const std::string line = text.substr(start, at - start);
      const size_t open = line.find(',');
      out += line.substr(open + 1, line.find(']') - open) + " ";
      ++at;
    }
    return out;
  }
  TunerPtr tuner;
  std::unique_ptr<test::TunerTrace> trace;
};

TEST_F(OpenShort, OpenTestFindsEachDefect) {
  struct Case {
    const char* what;
    sim::PanelDefects defects;
    std::string failed;
  };
  sim::PanelDefects open_rx, dip, open_tx;
  open_rx.open_rx = 5;
  dip.dip_rx = 5;
  open_tx.open_tx = 3;
  const Case cases[] = {
      {"clean", {}, ""},
      {"open sensing line", open_rx, "RX[5] "},
      {"dip of 900 among 1500", dip, "RX[5] "},
      {"open driving line", open_tx, "TX[3] "},
  };
  for (const Case& c : cases) {
    sim.update([&](sim::ControllerState& s) { s.panel.defects = c.defects; });
    // Thresholds 800, option 2000, diff 300, edge tolerance 100.
    const int result = tuner_open_test(*tuner, 800, 800, 2000, 300, 300, 100, 100);
    const std::string text = trace_text();
    EXPECT_EQ(result, c.failed.empty() ? 1 : 0) << c.what;
    EXPECT_EQ(failed(text), c.failed) << c.what << "\n" << text;
    EXPECT_NE(text.find(c.failed.empty() ? "Open Test Pass\nFinish Open Test\n" : "Open Test Fail\nFinish Open Test\n"),
              std::string::npos);
  }
}

TEST_F(OpenShort, OpenTestLogBlock) {
  ASSERT_EQ(tuner_open_test(*tuner, 800, 800, 2000, 300, 300, 100, 100), 1);
  const std::string text = trace_text();
  const std::string head =
      "\nStart Open Test\nOpen Test Alg = 1\nOpen Test threshold:,Tx,800,,Rx,800\nOpenTestDiffOptionTH:,2000"
      "\nDiffThreshold:,Tx,300,,Rx,300,,EdgeTolerance:,Tx,100,,Rx,100\r\n\nOpen test scaling , 10"
      "\nCHANNEL,DATA-0,DATA-N\nOpenTest,RX[0],1500,1545\nOpenTest,RX[1],1503,1548\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\n\nCHANNEL,DATA-0,DATA-N\nOpenTest,TX[0],1500,1581\n"), std::string::npos) << text;
}

TEST(EdgeDifference, ToleranceOnlyTowardsTheOutermostChannel) {
  static int16_t table[132][172];
  library.ranges.rx_total = 6;
  library.ranges.tx_total = 4;
  const int16_t row[6] = {1500, 1000, 1200, 1250, 1300, 1300};
  for (int r = 0; r < 6; ++r) table[0][r] = table[3][r] = row[r];
  struct Case {
    int channel, edge;
    int fails;
  };
  // Channel 1 is 500 below channel 0 and 200 below channel 2 (diff 300).
  const Case cases[] = {{1, 0, 1}, {1, 199, 1}, {1, 200, 0}, {2, 0, 0}, {0, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(check_edge_difference(table, 2000, c.channel, 6, 300, c.edge), c.fails) << c.channel << " " << c.edge;
  }
  EXPECT_EQ(check_edge_difference(table, 1000, 1, 6, 300, 0), 0) << "1000 is not below the option threshold";
  EXPECT_EQ(check_edge_difference(table, 2000, 1, 5, 300, 0), 0) << "neither count";
}

TEST_F(OpenShort, ShortTestFindsTheShortedLines) {
  ASSERT_EQ(tuner_short_test(*tuner), 1);
  std::string text = trace_text();
  EXPECT_EQ(text.rfind("\nStart Short Test\n\nShort Test threshold , 30\nCHANNEL,DATA\nShortTest,Rx[0],2\n"
                       "ShortTest,Rx[1],-3\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("ShortTest,Tx[15],-3\nShort Test pass\n"), std::string::npos);

  sim.update([](sim::ControllerState& s) {
    s.panel.defects.short_rx = 3;
    s.panel.defects.short_tx = 7;
  });
  EXPECT_EQ(tuner_short_test(*tuner), 0);
  text = trace_text();
  EXPECT_EQ(failed(text), "Rx[3] Tx[7] ");
  EXPECT_NE(text.find("ShortTest,Rx[3],-100,Fail\n"), std::string::npos);
  EXPECT_NE(text.find("Short Test fail\n"), std::string::npos);

  // The sign marker 1, '+' prints the driving lines negated.
  tuner->tx_sign_marker[0] = 1;
  tuner->tx_sign_marker[1] = '+';
  tuner_short_test(*tuner);
  EXPECT_NE(trace_text().find("ShortTest,Tx[7],100,Fail\n"), std::string::npos);
}

// The short-test handler, fed reports as the reader thread would: kind 1
// fills an Rx channel, kind 0x81 a Tx channel, the length-3 kind-0x81
// report ends the measurement; everything else, and channels beyond the
// tables, change nothing.
TEST(ShortTestReportHandler, FillsTheTablesAndIgnoresTheRest) {
  struct Case {
    const char* what;
    std::vector<uint8_t> report;
    int rx_channel, tx_channel;  // the entry expected to hold 0x11, 0x22; -1 none
    bool done;
  };
  const Case cases[] = {
      {"Rx channel 5", {3, 6, '?', 'S', 0x01, 5, 0x11, 0x22}, 5, -1, false},
      {"Rx channel 171", {3, 6, '?', 'S', 0x01, 171, 0x11, 0x22}, 171, -1, false},
      {"Tx channel 131", {3, 6, '?', 'S', 0x81, 131, 0x11, 0x22}, -1, 131, false},
      {"Tx channel 132", {3, 6, '?', 'S', 0x81, 132, 0x11, 0x22}, -1, -1, false},
      {"Rx channel 172", {3, 6, '?', 'S', 0x01, 172, 0x11, 0x22}, -1, -1, false},
      {"end", {3, 3, '?', 'S', 0x81}, -1, -1, true},
      {"length 3, kind 1", {3, 3, '?', 'S', 0x01}, -1, -1, false},
      {"kind 0", {3, 6, '?', 'S', 0x00, 5, 0x11, 0x22}, -1, -1, false},
      {"cut short", {3, 6, '?', 'S', 0x01, 5, 0x11}, -1, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShortTestBytes& s = library.short_bytes;
    std::memset(s.tx_first, 0, sizeof s.tx_first);
    std::memset(s.tx_second, 0, sizeof s.tx_second);
    std::memset(s.rx_first, 0, sizeof s.rx_first);
    std::memset(s.rx_second, 0, sizeof s.rx_second);
    s.done.store(false);
    short_test_report_handler(0, static_cast<int>(c.report.size()), c.report.data());
    int filled = 0;
    for (int r = 0; r < 172; ++r) {
      if (s.rx_first[r] == 0 && s.rx_second[r] == 0) continue;
      ++filled;
      EXPECT_EQ(r, c.rx_channel);
      EXPECT_EQ(s.rx_first[r], 0x11);
      EXPECT_EQ(s.rx_second[r], 0x22);
    }
    for (int t = 0; t < 132; ++t) {
      if (s.tx_first[t] == 0 && s.tx_second[t] == 0) continue;
      ++filled;
      EXPECT_EQ(t, c.tx_channel);
      EXPECT_EQ(s.tx_first[t], 0x11);
      EXPECT_EQ(s.tx_second[t], 0x22);
    }
    EXPECT_EQ(filled, (c.rx_channel >= 0) + (c.tx_channel >= 0));
    EXPECT_EQ(s.done.load(), c.done);
  }
}

TEST_F(OpenShort, SlowShortTestWithoutEndReportIsBounded) {
  sim.update([](sim::ControllerState& s) { s.panel.defects.missing_end_report = true; });
  test::Stopwatch watch;
  EXPECT_EQ(tuner_short_test(*tuner), 1);
  EXPECT_GT(watch.ms(), 9500.0);
  EXPECT_LT(watch.ms(), 14000.0);
}

TEST(SensorTest2, ShortValuesByModel) {
  test::ScratchDir dir;
  test::WorkingDirectory here(dir.path());
  library.ranges.rx_total = 2;
  library.ranges.tx_total = 1;
  struct Case {
    int model;
    uint8_t low, high;
    int threshold;
    int result;
  };
  // 0x9C (-100) fails and 0x1E (30) passes threshold 30 as signed bytes;
  // code 18 judges 0x1000 as 4096 x 10 / 7 / 128 = 45.
  const Case cases[] = {{24, 0x9C, 0xFF, 30, -1}, {24, 0x1E, 0x00, 30, 0}, {18, 0x00, 0x10, 45, 0},
                        {18, 0x00, 0x10, 44, -1}, {12, 0x1E, 0x00, 30, 0}, {12, 0x1F, 0x00, 30, -1}};
  for (const Case& c : cases) {
    library.model_code = c.model;
    library.sensor_test = {};
    library.sensor_test.rx_low[1] = c.low;
    library.sensor_test.rx_high[1] = c.high;
    library.sensor_test.rx_value[1] = static_cast<int16_t>(c.low | c.high << 8);
    EXPECT_EQ(evaluate_short_test(c.threshold), c.result) << c.model << " " << int(c.low);
  }
  library.model_code = 0;
}

TEST(SensorTestOpen, RxPassLineByModel) {
  test::ScratchDir dir;
  test::WorkingDirectory here(dir.path());
  library.ranges.rx_total = 3;
  library.ranges.tx_total = 2;
  for (int t = 0; t < 2; ++t) {
    for (int r = 0; r < 3; ++r) library.test_raw.values[t][r] = 1500;
  }
  library.model_code = 12;
  EXPECT_EQ(evaluate_open_test(0, 0, 800, 800, 2000, 300, 300, 0, 0), 0);
  const std::string log = test::read_file(dir.file("Log.csv"));
  const std::string separator = std::string(24, '/') + "," + std::string(82, '/') + "," + std::string(69, '/');
  EXPECT_EQ(log,
            "OPEN TEST \r\nThreshold:,Tx,800,,Rx,800\r\nOpenTestDiffOptionTH:,2000\nDiffThreshold:,Tx,300,,Rx,300\r\n"
            "CHANNEL,DATA-0,DATA-N,RESULT\r\nOpenTest,Rx[ 0 ],1500,1500,Pass\nOpenTest,Rx[ 1 ],1500,1500,Pass\n"
            "OpenTest,Rx[ 2 ],1500,1500,Pass\n\r\nOpen TestRx PASS\r\n" +
                separator + "\r\nOpenTest,Tx[ 0 ],1500,1500,Pass\nOpenTest,Tx[ 1 ],1500,1500,Pass\n\r\nOpen Test Tx PASS\r\n" +
                separator + "\r\n");
  library.test_raw.values[1][2] = 700;
  EXPECT_EQ(evaluate_open_test(0, 0, 800, 800, 2000, 300, 300, 0, 0), -1);
  library.model_code = 0;
}

}  // namespace
}  // namespace tmode
