// The preparation every front-end operation runs on its fresh Tuner.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// Selects parameter area 0x8000 and reads the controller level ('?','X'):
// its first four payload bytes go to the protocol state, its first byte to
// the Tuner's controller_level. A controller that does not answer leaves
// both as they were; the preparation itself never fails.
void prepare_tuner(Tuner& tuner);

}  // namespace tmode
