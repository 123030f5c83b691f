// The simulated panel as the sensor-test generation sees it: the link open
// on the simulator, the main log in a scratch directory, the model code and
// the chip ranges of the panel (one driving chip of 16 lines, two sensing
// chips of 14).
#pragma once

#include <string>

#include "sim/controller_state.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"

namespace tmode::test {

class SensorTestBench : public SimLinkTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A panel of 4 Tx and 6 Rx lines on two sensing chips of 3, in the
  // simulator and in the channel ranges.
  void small_panel();
  void defects(const sim::PanelDefects& d);

  // What the main log holds; take_log() also empties it.
  std::string log() const;
  std::string take_log();
  // The main log's path goes to a directory that does not exist.
  void make_log_unwritable();

  ScratchDir scratch;
};

// Sets every sensing chip's front end to a gain of 1 (waveform 60, RS 15,
// GainA 8, GainB 16, CalVref 128, no delay range), so that a raw frame
// reads the panel's signal P.
void unity_front_end(sim::ControllerState& state);

// The channel ranges of the simulated panel: driving chip 0 lines 0 to
// tx - 1, sensing chips 0 to 13 each.
void describe_sim_ranges(int tx_lines = 16);

}  // namespace tmode::test
