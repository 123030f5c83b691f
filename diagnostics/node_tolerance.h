// The tolerances of the mutual-capacitance grids: a grid of tx_total - 1
// columns (t) and rx_total - 1 rows (r), whose corners and the nodes next to
// them along the edges are allowed more, and whose last row (r =
// rx_total - 2) is allowed the last-Rx tolerance on top.
#pragma once

namespace tmode {

struct GridTolerances {
  int corner = 0;        // C at the four corners
  bool extended = false; // C / 2 at the nodes next to the corners
  int last_rx = 0;
};

// t is 0 or tx_total - 2, and r is 0 or rx_total - 2.
bool is_corner_node(int r, int t, int rx_total, int tx_total);

// The two nodes next to each corner along the panel's edges.
bool is_extended_corner_node(int r, int t, int rx_total, int tx_total);

// C at a corner; else C / 2 at an extended corner when enabled; else 0;
// plus the last-Rx tolerance on row rx_total - 2.
int node_tolerance(int r, int t, int rx_total, int tx_total, const GridTolerances& tolerances);

// The origin corner named by bits 1 and 2 of the origin byte: "Upper Left",
// "Lower Left" (bit 2), "Upper Right" (bit 1) or "Lower Right".
const char* origin_name(int origin_byte);

}  // namespace tmode
