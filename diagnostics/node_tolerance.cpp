#include "diagnostics/node_tolerance.h"

namespace tmode {

bool is_corner_node(int r, int t, int rx_total, int tx_total) {
  return (t == 0 || t == tx_total - 2) && (r == 0 || r == rx_total - 2);
}

bool is_extended_corner_node(int r, int t, int rx_total, int tx_total) {
  const bool edge_column = t == 0 || t == tx_total - 2, edge_row = r == 0 || r == rx_total - 2;
  const bool next_row = r == 1 || r == rx_total - 3, next_column = t == 1 || t == tx_total - 3;
  return (edge_column && next_row) || (next_column && edge_row);
}

int node_tolerance(int r, int t, int rx_total, int tx_total, const GridTolerances& g) {
  int tolerance = 0;
  if (is_corner_node(r, t, rx_total, tx_total)) {
    tolerance = g.corner;
  } else if (g.extended && is_extended_corner_node(r, t, rx_total, tx_total)) {
    tolerance = g.corner / 2;
  }
  if (r == rx_total - 2) tolerance += g.last_rx;
  return tolerance;
}

const char* origin_name(int origin_byte) {
  switch (origin_byte & 0x06) {
    case 0x04: return "Lower Left";
    case 0x02: return "Upper Right";
    case 0x06: return "Lower Right";
    default: return "Upper Left";
  }
}

}  // namespace tmode
