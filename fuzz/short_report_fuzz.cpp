// The short test's report handler: '?','S' reports of a line's bytes and
// the end report, with the done flag cleared as tuner_short_test does.
// Input: reports (fuzz/report_sequence.h).
#include <cstddef>
#include <cstdint>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/open_short_tests.h"
#include "fuzz/report_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tmode::diagnostics_state().short_bytes.done.store(false);
  tmode::fuzz::for_each_report(data, size, [](int length, const uint8_t* report) {
    tmode::short_test_report_handler('?', length, report);
  });
  return 0;
}
