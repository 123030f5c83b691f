// The sensor-test generation of the mutual-capacitance test: the
// difference grid judged from the last fetch, and the saturation L2 test
// that writes the common verdict. Both append to the main log with "\r\n"
// line ends; a main log that cannot be opened loses the lines, not the
// verdict.
#pragma once

#include <cstdint>

namespace tmode {

// The firmware model number whose saturation tables blank their
// second-last Rx row.
inline constexpr const char* kL2BlankRowModel = "5210";

// Models 24 and 28 fetch an L2 frame and scale it by the model image's
// mutual-scaling word; the other models difference the TestRawTable as the
// last fetch left it, shifted by the model image's shift byte. Corner
// tolerance C at the corners, C / 2 next to them when X is 1, R on the last
// grid row. Sets mutual_cap_failed to the verdict. 0 pass, -1 fail (also for
// a missing scaling or a size the tables cannot hold).
int evaluate_mutual_cap_test(int reserved1, int reserved2, int threshold, int corner_tolerance, int extended,
                             int last_rx_tolerance);

// The saturation L2 frame (0x4010): each node's maximum (high byte) and
// minimum (low byte) judged against the threshold (a signed byte); with
// the skip flag the last channel of each sensing segment is shown
// unjudged. Sets l2_failed on a failing node. Writes the common verdict of
// the noise, mutual-capacitance and L2 parts. 0 when it passes, -1 when it
// fails, the frame did not arrive or the size cannot be used.
int l2_mutual_cap_test(int reserved1, int reserved2, int threshold, int skip_segment_ends);

// The byte of the model image whose value shifts the raw differences of
// models other than 24 and 28.
inline constexpr int kModelImageShiftByte = 18;

}  // namespace tmode
