// Creating the controller's uniformity table: the panel is captured at every
// working frequency, the line-to-line differences beyond a threshold become
// correction points, and the table goes to the controller's uniformity
// block. The difference maps and the points are appended to the main log
// ("a+"); a main log that cannot be opened only loses the lines.
#pragma once

#include <cstdint>

namespace tmode {

// The work area the points are built in, laid out as the indexed or wide
// table: per frequency a count word and a first-index word at 6 + 4 f and
// 8 + 4 f, the points from byte 86.
inline constexpr int kUniformityWorkBytes = 16384;

// Captures every working frequency into the node buffers, then builds and
// writes the table (build_uniformity_points). 0 when the table was written;
// -1 when it was not: a failed allocation, a capture that timed out, a
// sensor the tables cannot hold, a frequency count of 0 or above 20 (8 for a
// compact table) or a table the points do not fit. The handlers, the data stream and
// the buffers are given up on every way out.
int create_uniformity_table(int reserved1, int reserved2, int kernel_version, int threshold);

// Turns the node buffers into difference maps, logs them, collects the
// points beyond threshold and writes the table to the controller. 1 table
// written; 0 not written (too many points, an offset out of range, or a
// failed write); -1 when the accumulators cannot be allocated.
int build_uniformity_points(int kernel_version, int threshold);

// Stores the point (Tx t, Rx r, offset) at the running index in section f
// of the work area and advances the index and the section's count. 0; 1
// when the table is full (nothing stored); 2 when the offset was clamped to
// the entry's range (-127 to 127, or -32767 to 32767 for 4-byte entries).
int add_uniformity_point(uint8_t* table, int rx, int tx, int offset, int frequency, int* index);

// The frequency of a record's timing bytes in hertz: 72000 / (p + 4) in
// integers, then divided by (q & 0x7F) x (r & 7) and by 2; infinite when
// that divisor is 0 (an image never loaded).
double uniformity_frequency_hz(int p, int q, int r);

}  // namespace tmode
