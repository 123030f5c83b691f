#include "tester/tuner_log.h"

#include <cstdio>
#include <ctime>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/log_records.h"
#include "tuning/tuner_trace.h"

namespace tmode {

namespace {

// The banner's version numbers.
constexpr int kTunerMajorVersion = 0;
constexpr int kTunerMinorVersion = 1;
constexpr int kTunerBuild = 40;

}  // namespace

void open_tuner_log(Tuner& tuner) {
  if (tuner.log_open) return;
  if (tuner.log_stream == nullptr) {
    tuner.log_stream = std::fopen(diagnostics_state().log_paths.slots[kMainLog], "a+");
  }
  tuner.trace_start = std::clock();
  tuner.log_open = true;
  if (tuner.log_stream == nullptr) return;
  trace(tuner, "TUNER MajorVersion: %d, MinorVersion: %d, Bulid NO: %d, Test2 For Test Only",
        kTunerMajorVersion, kTunerMinorVersion, kTunerBuild);
  trace_stamp(tuner);
}

void close_tuner_log(Tuner& tuner) {
  if (tuner.log_stream == nullptr) return;
  std::fclose(tuner.log_stream);
  tuner.log_stream = nullptr;
  tuner.log_open = false;
}

}  // namespace tmode
