// The controller-assisted sensor tests that '?','S' starts (besides the
// short test, mode 1): the reports of modes 0, 2 (and 3) and 8.
#pragma once

#include "sim/command_table.h"

namespace tmode::sim {

// Mode 0: two readings per line, DATA-0 then DATA-N, for each sensing line
// [0x00, line, int16] and each driving line [0x80, line, int16], the
// controller's open measurement at the panel's first and last crossing
// line; then the end report [0x80].
// Modes 2 and 3: the mutual reading of every node [0x02, 0xFF, tx, first
// rx, values] (signed bytes, or int16 with node_values_16bit), at most 28
// values a report; then the end report [0x82].
// Mode 8: the raw frame's driving lines likewise as int16 [0x08, 0xFF, ...];
// then the end report [0x88].
// Other modes send nothing. With missing_end_report no end report follows.
void send_test_mode_reports(CommandContext& c, int mode);

}  // namespace tmode::sim
