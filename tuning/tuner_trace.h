// Lines of the tuning trace: written to the Tuner's log stream while it is
// open, and dropped otherwise.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

void trace(Tuner& tuner, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The elapsed-time stamp line (also on standard output).
void trace_stamp(Tuner& tuner);

}  // namespace tmode
