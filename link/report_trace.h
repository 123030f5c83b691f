// An opt-in record of every report the link writes and reads, for tools
// that keep a session to replay it later. Off by default; while off it costs
// the link one atomic load per report.
#pragma once

#include <cstdint>

namespace tmode {

enum class TraceDirection : uint8_t {
  kToController,    // a command, as written
  kFromController,  // a report, as the reader took it out of the stream
};

// Runs on the caller's thread for writes and on the reader thread for
// reports; calls never overlap. `report` holds `size` bytes.
using ReportTraceCallback = void (*)(void* context, TraceDirection direction, const uint8_t* report,
                                     int size);

// Installs the callback, or removes it with nullptr. Once a removal
// returns, no call of the old callback is running or will start.
void set_report_trace(ReportTraceCallback callback, void* context);

// Called by the link itself.
void trace_report(TraceDirection direction, const uint8_t* report, int size);

// The trace file: a header line, then one line per report (a framed
// report without the zeros that pad a write to 64 bytes):
//   <seconds since the trace began, 6 decimals> <'>' written | '<' read> <hex bytes>
// Opening replaces any trace in force. 0, or -1 when the file cannot be
// created (errno tells why).
int open_report_trace_file(const char* path);
// The trace file's first line, with its line end.
inline constexpr const char* kReportTraceHeader = "# tmode report trace 1: seconds, > written or < read, bytes\n";

// One line of the trace file, with its line end, for a report seen `us`
// microseconds after the trace began: for callers that keep a trace file
// of their own beside a callback. The line's length (out holds 256 bytes).
inline constexpr int kTraceLineSize = 256;
int format_report_trace_line(char* out, int64_t us, TraceDirection direction, const uint8_t* report, int size);

// Stops the trace and closes the file; 0, or -1 when its last lines could
// not be written.
int close_report_trace_file();

}  // namespace tmode
