#include "tests/support/sensor_test_bench.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "library/library_state.h"
#include "sim/sensor_setup.h"

namespace tmode::test {

void describe_sim_ranges(int tx_lines) {
  ChannelRanges& r = library.ranges;
  r = {};
  r.driving_chip_count = 1;
  r.tx_start[0] = 0;
  r.tx_end[0] = tx_lines - 1;
  r.sensing_chip_count = 2;
  r.rx_start[0] = 0;
  r.rx_end[0] = 13;
  r.rx_start[1] = 0;
  r.rx_end[1] = 13;
  r.tx_total = tx_lines;
  r.rx_total = 28;
}

void unity_front_end(sim::ControllerState& state) {
  for (auto& chip : state.registers.chips) {
    chip[144] = 60;  // the waveform's maximum
    chip[7] = 15 << 4 | 8;  // RS 15, GainA 8
    chip[3] = 16;  // GainB
    chip[8] = 128;  // CalVref
    chip[11] = 0;
    chip[13] = 0;
  }
}

void SensorTestBench::SetUp() {
  SimLinkTest::SetUp();
  sim.update(unity_front_end);
  std::snprintf(library.log_paths.slots[kMainLog], kLogPathSize, "%s", scratch.file("main.csv").c_str());
  library.model_code = 22;  // sized by the sensor-size query
  describe_sim_ranges();
  library.frame.extra_lines = 2;
  library.mutual.mutual_cap_failed = false;
  library.mutual.l2_failed = false;
  library.mutual.node_values_16bit = false;
  library.noise.noise_failed = false;
}

void SensorTestBench::small_panel() {
  sim.update([](sim::ControllerState& s) {
    s.panel.tx_lines = 4;
    s.panel.rx_lines = 6;
    ASSERT_TRUE(sim::apply_panel_geometry(s));
  });
  describe_sim_ranges(4);
  library.ranges.rx_end[0] = 2;
  library.ranges.rx_end[1] = 2;
  library.ranges.rx_total = 6;
}

void SensorTestBench::defects(const sim::PanelDefects& d) {
  sim.update([&](sim::ControllerState& s) { s.panel.defects = d; });
}

void SensorTestBench::TearDown() {
  std::snprintf(library.log_paths.slots[kMainLog], kLogPathSize, "Log.csv");
  library.model_code = 0;
  SimLinkTest::TearDown();
}

std::string SensorTestBench::log() const {
  const std::string path = scratch.file("main.csv");
  return file_exists(path) ? read_file(path) : "";
}

std::string SensorTestBench::take_log() {
  std::string text = log();
  std::remove(scratch.file("main.csv").c_str());
  return text;
}

void SensorTestBench::make_log_unwritable() {
  std::snprintf(library.log_paths.slots[kMainLog], kLogPathSize, "%s", scratch.file("none/main.csv").c_str());
}

}  // namespace tmode::test
