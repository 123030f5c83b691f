// How tmode shows the progress of a long operation: on a terminal a bar
// redrawn in place; on a pipe or file plain lines "progress N%", one each
// time the whole percent grows, ending with "progress 100%" on success.
// --quiet shows nothing. With --json standard output holds the document
// alone: the bar goes to standard error when that is a terminal, and
// nothing shows otherwise.
#pragma once

#include <cstdio>

#include "app/tmode_session.h"

namespace tmode::cli {

class ProgressDisplay {
 public:
  ProgressDisplay(const Globals& globals, const char* label);
  // Ends a bar's line when the operation stopped short of finish().
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // `done` of `total` units are through.
  void update(long done, long total);
  // All through: 100%, and a bar's line ends.
  void finish();

 private:
  FILE* out_ = nullptr;  // nullptr: nothing shows
  bool bar_ = false;
  bool line_open_ = false;
  int shown_percent_ = -1;
  long total_ = 0;
  const char* label_;
};

}  // namespace tmode::cli
