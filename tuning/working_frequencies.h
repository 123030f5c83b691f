// Working-frequency selection: walks the active frequency table and
// registers each candidate for which every calibration target has an RS and
// GainA that put its peaks into the signal window.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// How often one table index is tried again after the window was adjusted.
inline constexpr int kMaxWindowRetries = 8;

// The number of working frequencies registered (0 = failure).
int select_working_frequencies(Tuner& tuner, int signal_high, int signal_low);

// Moves the signal window to the peaks the adjustment results table holds,
// or lowers ImageWaveSignal by 3 when no window fits. 1 adjusted, 0 failed.
int adjust_signal_window(Tuner& tuner, int* signal_high, int* signal_low);

}  // namespace tmode
