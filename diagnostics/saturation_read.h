// The saturation frames: each node carries a pair of bytes, reduced to one
// value per node in the Tuner's raw table.
#pragma once

#include <cstdint>

#include "diagnostics/data_words.h"
#include "tuning/tuner.h"

namespace tmode {

// A node's value: with 0x4010 the larger of its high and low byte, else
// |(high - low) >> 1|.
int16_t reduce_saturation_pair(uint16_t word, int16_t node);

// Reads one saturation frame of the word into the raw table (waiting up to
// 10 s; "Get Saturation Data Fail" when it does not come) and reduces every
// node.
void read_saturation(Tuner& tuner, uint16_t word);

// Reads the 0x4020 frame and leaves the raw table as it was. 1.
int saturation_check(Tuner& tuner);

}  // namespace tmode
