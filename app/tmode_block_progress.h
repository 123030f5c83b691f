// How tmode shows the parameter block transfers of a command: a
// ProgressDisplay (a bar on a terminal, "progress N%" lines otherwise) fed
// by the library's block progress for as long as it lives.
#pragma once

#include <optional>

#include "app/tmode_library_lines.h"
#include "app/tmode_progress.h"
#include "app/tmode_session.h"
#include "maintenance/parameter_progress.h"

namespace tmode::cli {

class BlockProgress {
 public:
  enum class Shown {
    // Every transfer, read or write, of any block: one display whose total
    // is `expected` bytes (or the bytes seen, when more came).
    kAllTransfers,
    // Each write of the hardware block as a display of its own; reads and
    // other blocks pass unseen.
    kHardwareWrites,
  };

  // `lines` (may be null): the library's lines, whose open line ends before
  // a display starts.
  BlockProgress(const Globals& globals, Shown shown, long expected, LibraryLines* lines);
  BlockProgress(const BlockProgress&) = delete;
  BlockProgress& operator=(const BlockProgress&) = delete;

  // All through: the display shows 100% and its line ends.
  void finish();

 private:
  static void report(void* context, const tmode::ParameterProgress& progress);
  void start_display();

  const Globals& globals_;
  Shown shown_;
  long expected_;
  LibraryLines* lines_;
  long base_ = 0;        // bytes of the finished transfers (kAllTransfers)
  long last_total_ = 0;  // the size of the transfer under way
  std::optional<ProgressDisplay> display_;
  ParameterProgressScope scope_;
};

}  // namespace tmode::cli
