// The "RAW16 DATA" dump of the TestRawTable into the main log.
#pragma once

namespace tmode {

// Appends the table, transposed (one row per Rx channel, one column per Tx
// line, the Tx labels in a footer row), and the separator line. 0; -1 when
// the main log cannot be opened or the channel totals do not fit the table
// (at most 172 Rx, 132 Tx), and then nothing is written.
int log_raw16_table();

}  // namespace tmode
