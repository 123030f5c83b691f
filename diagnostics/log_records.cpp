#include "diagnostics/log_records.h"

namespace tmode {

bool frame_fits_tables(int rx_total, int tx_total, int extra_lines) {
  if (rx_total < 0 || tx_total < 0 || extra_lines < 0) return false;
  return rx_total <= kTableColumns && tx_total + extra_lines <= kTableLines;
}

}  // namespace tmode
