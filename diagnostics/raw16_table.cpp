#include "diagnostics/raw16_table.h"

#include <cstdio>

#include "diagnostics/log_stream.h"
#include "diagnostics/diagnostics_state.h"
#include "protocol/protocol_state.h"

namespace tmode {

int log_raw16_table() {
  const int rx_total = protocol_state().ranges.rx_total;
  const int tx_total = protocol_state().ranges.tx_total;
  if (!frame_fits_tables(rx_total, tx_total, 0)) return -1;

  SharedLogFile log(kMainLog, "a+");
  if (!log) return -1;
  FILE* out = log.stream();
  std::fputs("\r\nRAW16 DATA\r\n", out);
  for (int r = 0; r < rx_total; ++r) {
    std::fprintf(out, "Rx[ %02d ]", r);
    for (int t = 0; t < tx_total; ++t) std::fprintf(out, ",%d", diagnostics_state().test_raw.values[t][r]);
    std::fputs("\r\n", out);
  }
  std::fputs(",", out);
  for (int t = 0; t < tx_total; ++t) std::fprintf(out, "Tx[%02d],", t);
  std::fputs("\r\n", out);
  write_separator_line(out);
  std::fputs("\r\n", out);
  return 0;
}

}  // namespace tmode
