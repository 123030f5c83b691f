// A recorded session played back: the simulator answers each command with
// the reports the recorded controller sent after it, at the recorded
// delays. The recording is the library's report trace:
//   # comment lines
//   <seconds> > <hex bytes>    a command the library wrote
//   <seconds> < <hex bytes>    a report the controller sent
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace tmode::sim {

class ReplayScript {
 public:
  // Reads a trace; false, with the reason in *error, for a file that
  // cannot be read or a line that is not a trace line.
  bool load(const std::string& path, std::string* error);

  // The reports to send for the next command. A command that differs from
  // the next recorded one (its framed bytes) gets no answer and is counted
  // as a mismatch; so is a command after the recording ended.
  std::vector<TimedReport> answer(const Bytes& command);

  size_t mismatches() const { return mismatches_; }
  // "command 3: expected 03 02 3f 58, got 03 02 3f 4e", or empty.
  const std::string& first_mismatch() const { return first_mismatch_; }
  bool finished() const { return next_ >= entries_.size(); }

 private:
  struct Entry {
    double at_s;
    bool from_library;
    Bytes bytes;
  };
  std::vector<Entry> entries_;
  size_t next_ = 0;
  size_t commands_seen_ = 0;
  size_t mismatches_ = 0;
  std::string first_mismatch_;
};

}  // namespace tmode::sim
