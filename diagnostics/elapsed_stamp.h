// The tuning trace's elapsed-time stamp, " TimeStamp @ hh:mm:ss.mmm".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace tmode {

// Milliseconds of processor time from start to now, in 64 bits; a wrap of
// the clock() counter in between is taken into account.
int64_t elapsed_ms(clock_t start, clock_t now);

// " TimeStamp @ %02d:%02d:%02d.%03d\n" for the milliseconds, cut to capacity.
void format_elapsed_stamp(char* out, size_t capacity, int64_t ms);

// Prints the stamp for the time since start to standard output and, when
// given, to the trace's stream.
void write_elapsed_stamp(FILE* stream, clock_t start);

}  // namespace tmode
