// The tuning parameter file: an INI file whose keys fill a new Tuner's
// TuningParameters and sensor configuration.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// Creates a Tuner with its initial values and reads every key of the file
// into it, applying the defaults and rules of each key. A file that cannot
// be opened prints "File: %s dose not exist" and leaves the initial values;
// no file is created. Null only when the Tuner cannot be allocated.
TunerPtr load_tuning_file(const char* path);

}  // namespace tmode
