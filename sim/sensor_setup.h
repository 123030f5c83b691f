// Makes the rest of the simulated controller agree with its sensor panel.
#pragma once

#include "sim/controller_state.h"

namespace tmode::sim {

// Reports the panel's geometry with '6',0x0F and writes it into the sensor
// configuration of the hardware block (working and committed copies, with
// its checksum). False, changing nothing, when the geometry does not fit
// the controller's tables (more than 130 driving or 170 sensing lines, more
// than 4 sensing chips, ...).
bool apply_panel_geometry(ControllerState& state);

}  // namespace tmode::sim
