// The single-end stable test: the sensing chips measure a range of Rx
// channels single-ended, 100 scans, and a channel whose readings span more
// than the threshold fails. Lines go to the Tuner's log stream.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kStableScans = 100;
inline constexpr int kStableVerifyTries = 20;

// True when channels first to last can be read in one register read: the
// count of bytes and the first register are 8-bit, so at most 127 channels
// and (first + 8) x 2 + the bytes read at most 256.
bool stable_range_fits(int first, int last);

// 0 pass, -1 fail, a register range that does not fit, or registers that
// do not verify. Failing channels are marked in the Tuner; in mark-only
// mode that is all.
int single_end_stable_test(Tuner& tuner);

}  // namespace tmode
