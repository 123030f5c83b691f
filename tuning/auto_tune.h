// The auto-tune pipeline: the tuning stages run in their fixed order on a
// Tuner whose hardware block was loaded from the controller. Each failing
// stage prints its one line and ends the run; the results stay in the
// tuner's working tables, from which the hardware block is packed.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// Fits the frequency table of the Cpu_Speed byte: StartOfFreq past the
// table's end becomes its last index with NumsOfFreq 1, otherwise NumsOfFreq
// is cut to what is left of the table. Cpu_HostClk keeps 65, 130 and 195
// (69 with the frequency-preset option 1) and becomes 130 otherwise.
void apply_frequency_preset(Tuner& tuner);

// Calibration, working frequencies, phase and signal of the touch image,
// run twice when AutoCalTarget has the targets chosen after the first pass.
// 1 success; 0 after printing the failing stage's line.
int auto_tune_image(Tuner& tuner);

// Phase, GainD and signal of the stray line on the working frequencies.
// 1 success (also with stray-line tuning off); 0 after the stage's line.
int auto_tune_stray_line(Tuner& tuner);

// Reloads the working tables and adjusts the signal only (the image when
// image tuning is on, else the stray line). 1, or 0 after
// "Signal Adjustment Fail...".
int readjust_signal(Tuner& tuner);

// Prints the driving-line count and the tuner's overlap; clears the two
// water-group records. 1.
int count_water_tx(Tuner& tuner);

}  // namespace tmode
