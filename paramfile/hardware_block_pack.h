// Moving the hardware block between the controller, the Tuner's block and
// its working tables.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// Reads the controller's 2048-byte hardware block into the Tuner's block and
// unpacks it. 1; 0 when the block cannot be read whole or is refused by the
// unpacking, and then the Tuner is unchanged.
int load_hardware_block_from_controller(Tuner& tuner);

// Copies the block's sensor configuration into config (RXStart0 and RXEnd0
// raised by 28 in model group 1) and, for each of its frequencies, the clock
// source, prescaler, scalings (taken 4 below the stored value), Delay, GainB,
// GainA and RS (shifted left by 4) into the working tables. 1; 0, with
// nothing changed, when the block names more than 3 driving chips, 4 sensing
// chips or 10 frequencies.
int unpack_hardware_block(Tuner& tuner, SensorConfiguration& config, const uint8_t* block);

// The reverse, into a 2048-byte block image: the tuning result, CalVref and
// its range per sensing chip, CalIndex, and per frequency the working values
// (scalings stored 4 above the working value, RS shifted right by 4). With
// image tuning on, no working frequencies from the tuning file and at least
// 3 frequencies, the tuned frequencies are interleaved: block f takes
// frequency f / 2 (even f) or f / 2 + (count + 1) / 2 (odd f). The stray-line
// group is written only with stray-line tuning on. 1; 0, with the block
// unchanged, when the working configuration names more chips or frequencies
// than the block holds.
int pack_hardware_block(Tuner& tuner, uint8_t* block);

}  // namespace tmode
