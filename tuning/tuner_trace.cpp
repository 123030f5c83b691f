#include "tuning/tuner_trace.h"

#include <cstdarg>
#include <cstdio>

#include "diagnostics/elapsed_stamp.h"

namespace tmode {

void trace(Tuner& tuner, const char* format, ...) {
  if (tuner.log_stream == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(tuner.log_stream, format, args);
  va_end(args);
}

void trace_stamp(Tuner& tuner) { write_elapsed_stamp(tuner.log_stream, tuner.trace_start); }

}  // namespace tmode
