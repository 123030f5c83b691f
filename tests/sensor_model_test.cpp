// The simulated sensor: scans measure what the library wrote to the chips'
// registers, data words stream 'J' frames until stopped, and each defect
// shows where it should. Everything goes through the library over a pty.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link/report_handlers.h"
#include "maintenance/chip_registers.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "protocol/controller_commands.h"
#include "sim/sensor_setup.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::SimLinkTest;
using Bytes = std::vector<uint8_t>;

// Reports the reader thread hands to the test's handler.
std::mutex collected_mutex;
std::vector<Bytes> collected;

void collect(int, int size, const uint8_t* report) {
  std::lock_guard lock(collected_mutex);
  collected.emplace_back(report, report + size);
}

std::vector<Bytes> take_collected() {
  std::lock_guard lock(collected_mutex);
  std::vector<Bytes> out;
  out.swap(collected);
  return out;
}

// Waits until at least n reports were collected (2 s at most), then takes them all.
std::vector<Bytes> wait_collected(size_t n) {
  for (int i = 0; i < 400; ++i) {
    {
      std::lock_guard lock(collected_mutex);
      if (collected.size() >= n) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return take_collected();
}

int16_t i16(const uint8_t* at) { return static_cast<int16_t>(at[0] | at[1] << 8); }

class SensorModel : public SimLinkTest {
 protected:
  // A neutral front end: flat waveform of 60, RS 15, GainA 8, GainB 16,
  // CalVref 128, delay 18 of 54 (the best phase).
  void program_front_end() {
    const Bytes wave(111, 60);
    ASSERT_EQ(write_chip_registers(255, 144, 111, wave.data()), 111);
    set(3, 0xD0);
    set(7, 0xF8);
    set(8, 128);
    set(11, 18);
    set(13, 54);
    set(14, 0x02);
  }
  void set(int reg, uint8_t value, int chip = 255) { ASSERT_EQ(write_chip_registers(chip, reg, 1, &value), 1); }
  // Channel k of the row chip 0 holds after a scan of driving line t.
  int16_t scanned(int t, int k, int chip = 0) {
    EXPECT_EQ(start_chip_scan(t, t), 0);
    uint8_t row[2] = {};
    EXPECT_EQ(read_chip_registers(chip, 16 + 2 * k, 2, row), 2);
    return i16(row);
  }
  int16_t measurement() {
    EXPECT_EQ(start_chip_scan(0, 255), 0);
    uint8_t m[2] = {};
    EXPECT_EQ(read_chip_registers(0, 190, 2, m), 2);
    return i16(m);
  }
  void TearDown() override {
    unregister_report_handler('J', 0xFFFF);
    unregister_report_handler('?', 'S');
    take_collected();
    SimLinkTest::TearDown();
  }
};

TEST_F(SensorModel, ScansMeasureWhatTheRegistersSay) {
  program_front_end();
  // 600 x (1 + 0.002 t + 0.002 r) at the neutral front end.
  EXPECT_EQ(scanned(3, 0), 604);
  EXPECT_EQ(scanned(3, 1), 605);
  EXPECT_EQ(scanned(3, 0, 1), 620);  // chip 1 serves sensing lines 14 to 27

  struct Case {
    int reg;
    uint8_t value;
    int16_t expected;
    const char* what;
  };
  const Case cases[] = {
      {7, 0xFE, 453, "GainA 14 lowers the peak"},
      {7, 0x78, 302, "RS 7 halves it"},
      {3, 0xE0, 1207, "GainB 32 doubles it"},
      {8, 192, 453, "CalVref 192"},
      {11, 9, 402, "delay 9, a third off the best"},
      {11, 45, 151, "delay 45, floor of a quarter"},
      {11, 0x80 | 18, 201, "register 11 bit 7 adds 16 to GainA: 24"},
  };
  for (const Case& c : cases) {
    program_front_end();
    set(c.reg, c.value);
    EXPECT_EQ(scanned(3, 0), c.expected) << c.what;
  }

  program_front_end();
  set(14, 194);  // neighbour differences
  EXPECT_EQ(scanned(3, 0), 1);
}

TEST_F(SensorModel, CalibrationMeasurementFollowsRangeGainAndConstant) {
  struct Case {
    int constant;
    uint8_t range_byte, gain, select;
    int16_t expected;
  };
  const Case cases[] = {
      {900, 7 * 32 + 22, 128, 216, 4600}, {900, 7 * 32 + 22, 128, 48, 1000},
      {1000, 7 * 32 + 22, 128, 216, 5000}, {300, 7 * 32 + 6, 0, 216, 3400},
      {900, 0 * 32 + 22, 192, 216, 1225},
  };
  for (const Case& c : cases) {
    sim.update([&](sim::ControllerState& s) { s.panel.calibration_constant = c.constant; });
    set(1, c.range_byte);
    set(8, c.gain);
    set(143, c.select);
    EXPECT_EQ(measurement(), c.expected) << c.constant << " " << int(c.range_byte) << " " << int(c.gain);
  }
}

TEST_F(SensorModel, DataWordStreamsFramesUntilStopped) {
  sim.update([](sim::ControllerState& s) { s.panel.defects.open_rx = 5; });
  ASSERT_EQ(register_report_handler('J', 0xFFFF, collect), 0);
  ASSERT_EQ(select_parameter_area(0, 0, 0x4080), 0);
  std::vector<Bytes> reports = wait_collected(36);
  ASSERT_EQ(select_parameter_area(0, 0, 0x8000), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  take_collected();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(take_collected().empty()) << "the stream stopped";

  // 18 lines (noise, water, 16 driving lines) of 28 values: one report each.
  ASSERT_GE(reports.size(), 36u) << "at least two frames";
  for (size_t i = 0; i < 36; ++i) {
    const Bytes& r = reports[i];
    ASSERT_EQ(r[1], 3 + 2 * 28);
    EXPECT_EQ(r[2], 'J');
    EXPECT_EQ(r[3], i % 18) << "lines in order from 0";
    EXPECT_EQ(r[4], 0);
  }
  const Bytes& line2 = reports[2];  // driving line 0
  EXPECT_EQ(i16(&line2[5]), 1500);        // 2.5 x 600
  EXPECT_EQ(i16(&line2[5 + 2 * 4]), 1512);
  EXPECT_EQ(i16(&line2[5 + 2 * 5]), 200);  // the open line
}

TEST_F(SensorModel, WideFramesAreCutIntoReportsOfTwentyNineValues) {
  sim.update([](sim::ControllerState& s) {
    s.panel.rx_lines = 70;
    s.panel.defects.lost_report = 4;  // line 1's second report
  });
  ASSERT_EQ(register_report_handler('J', 0xFFFF, collect), 0);
  ASSERT_EQ(select_parameter_area(0, 0, 0x4004), 0);
  const std::vector<Bytes> reports = wait_collected(6);
  ASSERT_EQ(select_parameter_area(0, 0, 0x8000), 0);
  ASSERT_GE(reports.size(), 6u);
  const int expected[][3] = {{0, 0, 29}, {0, 29, 29}, {0, 58, 12}, {1, 0, 29}, {1, 58, 12}, {2, 0, 29}};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(reports[i][3], expected[i][0]) << i;
    EXPECT_EQ(reports[i][4], expected[i][1]) << i;
    EXPECT_EQ(reports[i][1], 3 + 2 * expected[i][2]) << i;
  }
}

TEST_F(SensorModel, ShortTestReportsEveryLineAndEnds) {
  sim.update([](sim::ControllerState& s) {
    s.panel.defects.short_rx = 3;
    s.panel.defects.short_tx = 15;
  });
  ASSERT_EQ(register_report_handler('?', 'S', collect), 0);
  ASSERT_EQ(send_test_mode(1), 0);
  std::vector<Bytes> reports = wait_collected(28 + 16 + 1);
  ASSERT_EQ(reports.size(), 28u + 16u + 1u);
  EXPECT_EQ(reports[3], (Bytes{0x03, 6, '?', 'S', 0x01, 3, 0x9C, 0xFF}));
  EXPECT_EQ(reports[4], (Bytes{0x03, 6, '?', 'S', 0x01, 4, 2, 0}));
  EXPECT_EQ(reports[28 + 15], (Bytes{0x03, 6, '?', 'S', 0x81, 15, 0x9C, 0xFF}));
  EXPECT_EQ(reports.back(), (Bytes{0x03, 3, '?', 'S', 0x81}));

  sim.update([](sim::ControllerState& s) { s.panel.defects.missing_end_report = true; });
  ASSERT_EQ(send_test_mode(1), 0);
  reports = wait_collected(28 + 16);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(reports.size() + take_collected().size(), 28u + 16u);
}

TEST_F(SensorModel, DeadChipAndCorruptedWaveformReadBack) {
  sim.update([](sim::ControllerState& s) {
    s.panel.defects.dead_chip = 1;
    s.panel.defects.corrupt_waveform_reads = 1;
  });
  uint8_t value = 7;
  EXPECT_EQ(write_chip_registers(1, 3, 1, &value), -1);
  EXPECT_EQ(read_chip_registers(1, 3, 1, &value), -1);
  const Bytes wave(10, 40);
  ASSERT_EQ(write_chip_registers(255, 144, 10, wave.data()), 10);
  uint8_t back[10] = {};
  ASSERT_EQ(read_chip_registers(0, 144, 10, back), 10);
  EXPECT_EQ(back[0], 41) << "the first read-back is corrupted";
  ASSERT_EQ(read_chip_registers(0, 144, 10, back), 10);
  EXPECT_EQ(back[0], 40);
}

TEST_F(SensorModel, GeometryIsReportedAndRefusedPastTheTables) {
  sim::ControllerState s;
  s.panel.tx_lines = 40;
  s.panel.rx_lines = 61;
  s.panel.sensing_chips = 3;
  ASSERT_TRUE(sim::apply_panel_geometry(s));
  EXPECT_EQ(s.family.rx_channels, 61);
  EXPECT_EQ(s.family.tx_channels, 40);
  const auto& b = s.parameters.committed[1];
  EXPECT_EQ(b[8 + 7], 3);
  EXPECT_EQ(b[8 + 8], 1);
  EXPECT_EQ(b[8 + 15], 39);
  EXPECT_EQ((std::vector<int>{b[8 + 19], b[8 + 21], b[8 + 23]}), (std::vector<int>{20, 19, 19}));

  struct Case {
    int tx, rx, chips, extra;
    bool fits;
  };
  const Case cases[] = {{130, 170, 4, 2, true}, {131, 28, 2, 2, false}, {16, 171, 2, 2, false},
                        {16, 28, 5, 2, false},  {16, 28, 0, 2, false},  {128, 28, 2, 5, false}};
  for (const Case& c : cases) {
    sim::ControllerState t;
    t.panel.tx_lines = c.tx;
    t.panel.rx_lines = c.rx;
    t.panel.sensing_chips = c.chips;
    t.panel.extra_lines = c.extra;
    EXPECT_EQ(sim::apply_panel_geometry(t), c.fits) << c.tx << " " << c.rx << " " << c.chips;
  }
}

}  // namespace
}  // namespace tmode
