// The hardware bias test: how far each node's extreme readings stray from
// its average over N raw frames and N open-test frames, per Rx line. Lines
// go to the Tuner's log stream.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// The spread of a node in tenths of a percent of its average a: spread x
// 1000 / a, spread being the larger of |a - max| and |a - min|; 0 when a
// is 0. Held to the 16-bit range instead of wrapping.
int16_t bias_ratio(int average, int max, int min);

// 0 pass, -1 fail, a frame that could not be read, or a repeat count of 0.
// Failing Rx lines are marked in the Tuner; in mark-only mode that is all.
int hw_bias_test(Tuner& tuner);

}  // namespace tmode
