// The tuning subsystem's part of the library state.
#pragma once

#include "tuning/ini_state.h"

namespace tmode {

struct TuningState {
  // The INI reader's one open file and line buffer.
  IniReaderState ini;
};

TuningState& tuning_state();

}  // namespace tmode
