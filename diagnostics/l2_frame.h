// The L2 frame buffer and its collection, shared by the saturation L2 test
// and the uniformity-table creation.
#pragma once

#include "diagnostics/mutual_cap_state.h"

namespace tmode {

// Allocates the frame buffer once, and again only when a larger one is
// needed, then clears rx_total x lines entries. False, with no buffer, when
// it cannot be had.
bool reserve_l2_frame(L2FrameBuffer& frame, int rx_total, int lines);

// Points the collection at the frame buffer and starts it afresh: retries 6,
// no packets, waiting for the first line, not done. The caller's thread,
// before the 'J' handler is registered.
void prepare_l2_collect(MutualCapState& m, int rx_total, int last_line);

}  // namespace tmode
