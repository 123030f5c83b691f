// The phase sweep: the seven image delays of the first frequency record
// stepped through the phase range, the hardware block written at each step
// and a Raw16 dump of a raw frame appended to the Tuner's log.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kMaxPhaseSteps = 128;  // delays are 7-bit

// P = (record byte 2 AND 7) x (record byte 3 AND 0x7F), at most 128.
int phase_sweep_steps(const uint8_t* frequency_record);

// Steps p = 0 .. P-1 ("Log Phase0 = %d" on standard output). The original
// delays are restored and written back (with commit) on every way out.
// The result of the last step: 1 when its dump was written, 0 when its
// frame could not be read; 0 when P is 0.
int phase_sweep(Tuner& tuner);

}  // namespace tmode
