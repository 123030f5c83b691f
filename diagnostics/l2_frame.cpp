#include "diagnostics/l2_frame.h"

#include <cstring>
#include <new>

#include "diagnostics/test_raw_fetch.h"

namespace tmode {

namespace {

constexpr int kRetries = 6;

}  // namespace

bool reserve_l2_frame(L2FrameBuffer& frame, int rx_total, int lines) {
  const int entries = rx_total * lines;
  if (frame.values == nullptr || frame.capacity < entries) {
    frame.values.reset(new (std::nothrow) int16_t[static_cast<size_t>(entries)]);
    frame.capacity = frame.values != nullptr ? entries : 0;
    if (frame.values == nullptr) return false;
  }
  frame.rx_count = rx_total;
  frame.line_count = lines;
  std::memset(frame.values.get(), 0, sizeof(int16_t) * static_cast<size_t>(entries));
  return true;
}

void prepare_l2_collect(MutualCapState& m, int rx_total, int last_line) {
  L2Collect& c = m.l2_collect;
  c.values = m.l2_frame.values.get();
  c.capacity = m.l2_frame.capacity;
  c.rx_total = rx_total;
  c.last_line = last_line;
  c.packets_per_line = packets_per_line(rx_total);
  c.retries = kRetries;
  c.packets = 0;
  c.started = false;
  c.done.store(false);
}

}  // namespace tmode
