// The tuner-frame handler of the open test: 'J' reports into the staging
// table, with the totals read_tuner_frame sets before it registers the
// handler. Input: extra lines, TX total, RX total, raw mode, then reports
// (fuzz/report_sequence.h).
#include <cstddef>
#include <cstdint>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/log_records.h"
#include "diagnostics/open_short_tests.h"
#include "fuzz/report_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  tmode::DiagnosticsState& state = tmode::diagnostics_state();
  const int extra = data[0] % 8, tx_total = data[1], rx_total = data[2];
  if (tx_total < 1 || rx_total < 1 || !tmode::frame_fits_tables(rx_total, tx_total, extra)) return 0;
  state.frame.extra_lines = extra;
  tmode::TunerFrameCapture& f = state.tuner_frame;
  f.tx_total = tx_total;
  f.rx_total = rx_total;
  f.raw_mode = (data[3] & 1) != 0;
  f.ready[0].store(false);
  f.ready[1].store(false);
  tmode::fuzz::for_each_report(data + 4, size - 4, [](int length, const uint8_t* report) {
    tmode::tuner_frame_handler('J', length, report);
  });
  return 0;
}
