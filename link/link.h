// Opening and closing the link to the controller, and writing reports.
#pragma once

namespace tmode {

// Opens device_path (or, failing that, the daemon socket), drains stale
// input from a node and, when start_reader is non-zero, starts the reader
// thread. Result: read_fd << 16 | write_fd (above 0), or -1. An already open
// link is refused with -1.
int open_link(int reserved1, int reserved2, int start_reader);

// Stops and joins the reader, closes the descriptor and clears the handler
// table. The result of the last close, or -1 when the link was not open.
int close_link(int reserved1, int reserved2);

// True while a descriptor is open.
bool link_is_open();

// Writes the first n bytes of tx_report (send on the socket, write on a
// node). Returns what that call returned; -1 for n outside 0..64.
int link_write(int n);

}  // namespace tmode
