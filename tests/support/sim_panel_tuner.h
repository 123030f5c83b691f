// Tuner settings that describe the simulator's panel, and the trace a test
// reads back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tuning/tuner.h"

namespace tmode::test {

// A sensor configuration for the simulated panel: one driving chip of tx
// lines, two sensing chips of 14 lines (RX 28), equal RS ratios, and the
// calibration targets TX 0, 13 (the overlapping range bytes of chip 1), 3,
// 5, 8, 10 and 15.
void describe_sim_panel(uint8_t* configuration, int tx_lines = 16);

// A Tuner whose working configuration and hardware block both describe the
// simulated panel.
TunerPtr create_sim_panel_tuner(int tx_lines = 16);

// Settings of a tuning file that suit the simulated panel: image tuning, the
// signal window 35 to 50, two working frequencies, measure times 7 to 64,
// output 100, ImageTouchSignal 30, ScalingStart 3, MaxSignalHigh 70.
void tune_for_sim_panel(TuningParameters& params);

// A trace file the tuner writes to; text() takes what it holds and starts
// a fresh one.
class TunerTrace {
 public:
  explicit TunerTrace(Tuner& tuner);
  std::string text();

 private:
  Tuner& tuner_;
};

}  // namespace tmode::test
