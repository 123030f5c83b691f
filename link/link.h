// Opening and closing the link to the controller, and writing reports.
#pragma once

#include "link/reply_wait.h"

namespace tmode {

inline constexpr int kWriteLimitS = 3;

// Opens device_path (or, failing that, the daemon socket), drains stale
// input from a node and, when start_reader is non-zero, starts the reader
// thread. Result: read_fd << 16 | write_fd (above 0), or -1. An already open
// link is refused with -1.
int open_link(int reserved1, int reserved2, int start_reader);

// Stops and joins the reader, closes the descriptor and clears the handler
// table. The result of the last close, or -1 when the link was not open.
int close_link(int reserved1, int reserved2);

// True while a descriptor is open and, when the link has a reader, the
// reader has not stopped on a dead descriptor. Refused with -1 from a report
// handler (the reader thread): open_link and close_link.
bool link_is_open();

// True from open_link to close_link, whether or not the descriptor still
// works: a link whose device went away is still there to be reopened.
bool link_descriptor_held();

// Writes the first n bytes of tx_report (send on the socket, write on a
// node). A partial write is completed and a full queue waited out, within
// kWriteLimitS seconds. Returns the bytes written (n when complete), or what
// the failing call returned when nothing went; -1 for n outside 0..64.
int link_write(int n);

// The same within an attempt's own deadline.
int link_write_until(int n, const WaitDeadline& deadline);

// Reports written whole since the process started, and the microseconds
// the library has slept on purpose (pauses between commands, retries).
struct LinkTraffic {
  uint64_t reports_written;
  uint64_t slept_us;
};
LinkTraffic link_traffic();

}  // namespace tmode
