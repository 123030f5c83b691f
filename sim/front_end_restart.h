// What the simulated firmware does with a hardware block once it is
// committed: it starts scanning again with the block's settings.
#pragma once

#include "sim/controller_state.h"

namespace tmode::sim {

// Every sensing chip's TX waveform (registers 144 to 255) is set flat to
// the block's image waveform amplitude (sensor configuration byte 45,
// "ImageWaveSignal"), whatever a host had written there, e.g. a waveform
// switched off while it calibrated. The other front-end registers keep
// what the host wrote last.
void restart_front_end(ControllerState& state);

}  // namespace tmode::sim
