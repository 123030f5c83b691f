// Phase and signal adjustment: per working frequency and target, the
// sampling delay, the measure time GainB and the output scaling, GainD, the
// noise channel of each frequency and the chips' approach signals.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// GainD 0 to 7 -> 1, 4, 8, 16, 1, 4, 8, 16.
int gain_d_multiplier(int gain_d);

// 1, or 0 when a chip cannot be set up (or a frequency cannot be programmed).
int adjust_delay_counts(Tuner& tuner, bool stray_line);

// 1, or 0 with "\nSensing cycle too high, ..." when a GainB reaches
// MaximumMeasureTime - 1 (or a frame cannot be captured).
int adjust_scaling_and_gain_b(Tuner& tuner, bool stray_line, bool restart);

// 1, or 0 when a PeakC exceeds MaxSignalHigh (the signal window then drops
// by 5) or a command fails.
int adjust_gain_d(Tuner& tuner, bool stray_line);

// Gives frequency block f the noise channel settings when its strongest
// target is not target 0.
void finalise_frequencies(Tuner& tuner);

// 1, or 0 with "\nError: RAW data is too low." when a chip's mean is 29 or less.
int measure_approach_signals(Tuner& tuner);

}  // namespace tmode
