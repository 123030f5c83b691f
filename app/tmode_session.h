// The tmode program's hold on the controller: the link, the report trace,
// and what a failed call tells about why it failed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "link/report_trace.h"

namespace tmode::cli {

// Exit codes; stable, documented in tmode(1) and `tmode --help`.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 2,        // unknown subcommand, option or value
  kExitNoDevice = 3,     // no controller found
  kExitOpenFailed = 4,   // the node or socket could not be opened
  kExitTimeout = 5,      // the controller did not answer
  kExitRefused = 6,      // the controller answered, but not as asked
  kExitTestFailed = 7,   // a test ran and failed
  kExitFileRefused = 8,  // a file could not be read, written or was refused
  kExitInterrupted = 130,  // Ctrl-C cut an operation short (128 + SIGINT)
};

struct Globals {
  std::string device;  // a node or the daemon's Unix socket; empty: find one
  std::string trace;   // report trace file; empty: none
  bool json = false;
  bool quiet = false;
};

// Opens the controller for a subcommand and closes it again; the trace, when
// asked for, runs from open to close.
class Session {
 public:
  explicit Session(const Globals& globals);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // kExitOk, or the code of the failure (its reason already on stderr).
  int open();

  // Call before a controller call; `failure` then says whether the
  // controller stayed silent (kExitTimeout) or answered (kExitRefused),
  // and prints the reason with `what` on stderr.
  void begin_call();
  int failure(const char* what);

  const Globals& globals() const { return globals_; }

 private:
  struct Trace {
    FILE* file = nullptr;  // the --trace file, or none
    std::chrono::steady_clock::time_point start;
    // Reports read from the controller: the reader thread adds, the
    // caller's thread reads.
    std::atomic<int> reports_in{0};
  };
  // The link's trace callback: counts what the controller sent, and writes
  // the --trace file.
  static void on_report(void* context, TraceDirection direction, const uint8_t* report, int size);

  const Globals& globals_;
  bool open_ = false;
  Trace trace_;
  int reports_in_at_call_ = 0;
  std::chrono::steady_clock::time_point call_start_;
};

// "tmode: <text>\n" on standard error.
void report_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tmode::cli
