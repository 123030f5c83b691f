// The mutual-scaling and open-scaling words measured from the smallest raw
// value of a raw frame and of the open-test frame's edge, against the open
// base value.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// The word from a measured minimum m and the base value b: b >= m gives b x
// 10 / m with bit 15 set (multiply mode), b < m gives m x 10 / b (divide
// mode); the quotient is held at 0x7FFF. 0 when b is 0 or m is not
// positive.
uint16_t scaling_word(int minimum, int base);

// Sets the Tuner's mutual-scaling and open-scaling words and prints both.
// 1; 0 when a frame cannot be read or a word cannot be formed.
int measure_scaling(Tuner& tuner, int reserved);

// measure_scaling, then reseals the Tuner's hardware block.
int measure_scaling_and_checksum(Tuner& tuner);

}  // namespace tmode
