// The Tuner's working tables and working sensor configuration, reloaded
// from its hardware block.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// Reloads the working sensor configuration from the hardware block, keeping
// the seven CalTarget values; when they are all 0 or each is 4 above its
// predecessor, spreads them over the N driving lines (0, 1, N/2 - N/4, N/2,
// N/2 + N/4, N - 2, N - 1). Bytes 6 and 7 of both block headers become 0
// and 1. 1; 0, with nothing changed, when the block names fewer than 2
// driving lines or more chips or frequencies than the tables hold.
int validate_parameters(Tuner& tuner);

// Mode 0 normal, 2 keep the calibration targets: the frequency count,
// configuration (validated unless mode 2 with AutoCalTarget clear), per chip
// CalVref and range (mode 0), and per frequency the clock source, prescaler,
// scalings, and per target Delay, GainB, GainA, GainD and the RS values of
// the gain table for the stored RS. 1, or 0 when the block is refused.
int load_working_tables(Tuner& tuner, int mode);

// Recomputes the checksum of the tuner's hardware block.
void reseal_hardware_block(Tuner& tuner);

// Reseals the hardware block and writes it whole to the controller with
// commit. 1 when every byte was written.
int store_hardware_block(Tuner& tuner);

}  // namespace tmode
