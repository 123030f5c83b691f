// Image captures against the simulated controller: each log slot in a
// scratch file, a small panel without the water line, and the per-type log
// counters of a fresh process.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/image_capture.h"
#include "library/library_state.h"
#include "sim/sensor_frames.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"

namespace tmode::test {

class ImageCaptureTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    for (int slot = 0; slot < kLogSlots; ++slot) {
      std::snprintf(library.log_paths.slots[slot], kLogPathSize, "%s",
                    scratch.file("slot" + std::to_string(slot) + ".csv").c_str());
    }
    library.frame.water_line_enabled = false;
    sim.update([](sim::ControllerState& s) { s.panel.water_line = false; });
    std::memset(library.capture.log_counters, 0, sizeof library.capture.log_counters);
    library.capture.multiply_mode = false;
    sensor(3, 2);
  }
  void TearDown() override {
    stop_image_stream(0, 0);
    free_image_buffer(0, 0);
    library.model_code = 0;
    library.capture.multiply_mode = false;
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
  // Front-end registers of every sensing chip that make each raw node read
  // its signal 600 x (1 + 0.002 t + 0.002 r), rounded: a waveform peak of
  // 60, RS 15 and GainA 8, GainB 16, CalVref 128, no phase window.
  void unity_front_end() {
    sim.update([](sim::ControllerState& s) {
      for (auto& chip : s.registers.chips) {
        chip[144] = 60;
        chip[7] = 0xF8;
        chip[3] = 16;
        chip[8] = 128;
        chip[11] = 0;
        chip[13] = 0;
      }
    });
  }
  sim::Frame sim_frame(uint16_t word) {
    sim::Frame frame;
    sim::produce_frame(sim.state(), word, frame);
    return frame;
  }
  std::string log(LogSlot slot) { return read_file(library.log_paths.slots[slot]); }

  ScratchDir scratch;
};

// 'J' reports [0x03, 3 + 2n, 'J', line, first Rx, values].
inline sim::Bytes j_report(int line, int first, const std::vector<uint8_t>& value_bytes) {
  sim::Bytes r = {0x03, static_cast<uint8_t>(3 + value_bytes.size()), 'J', static_cast<uint8_t>(line),
                  static_cast<uint8_t>(first)};
  r.insert(r.end(), value_bytes.begin(), value_bytes.end());
  return r;
}

// The table entry (line, Rx) of an ImageTable copied out by get_image_frame.
inline int16_t table_node(const std::vector<uint8_t>& table, int line, int rx) {
  int16_t v = 0;
  std::memcpy(&v, table.data() + 2 * (line * kTableColumns + rx), 2);
  return v;
}

}  // namespace tmode::test
