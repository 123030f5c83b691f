// The GainA search of working-frequency selection.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// Searches the GainA (0 to 15, starting at StartGainA) that puts the peaks of
// one target at RS into the signal window, bisecting for at most 7 steps and
// then refining towards the low edge. On success prints "RS=0x%02X,
// GainA=0x%02X\n" and stores GainA for the working frequency being
// registered (per target, or as SLGainA for the stray line). 1 found, 0 not.
int search_gain_a(Tuner& tuner, int target, int rs, const uint8_t* rs_per_chip, int signal_high,
                  int signal_low, int* peak_a, int* peak_b, bool stray_line);

}  // namespace tmode
