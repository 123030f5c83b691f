// The Tuner's log: the main log, opened for the length of one front-end
// operation.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// Opens the main log ("a+") as the Tuner's log stream unless it is open
// already, starts the trace clock and writes the tuner's banner and an
// elapsed-time stamp. A log that cannot be opened leaves the Tuner without
// a stream: the trace lines are dropped and the tests still run.
void open_tuner_log(Tuner& tuner);

// Closes the Tuner's log stream, if any, and clears its open flag.
void close_tuner_log(Tuner& tuner);

// Keeps the Tuner's log open for a scope and closes it on every way out.
class TunerLogScope {
 public:
  explicit TunerLogScope(Tuner& tuner) : tuner_(tuner) { open_tuner_log(tuner_); }
  ~TunerLogScope() { close_tuner_log(tuner_); }
  TunerLogScope(const TunerLogScope&) = delete;
  TunerLogScope& operator=(const TunerLogScope&) = delete;

 private:
  Tuner& tuner_;
};

}  // namespace tmode
