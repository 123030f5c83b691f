// Reports from the wire into the sensor tests' handlers. The input's first
// bytes choose the handler and the sensor size the operation prepared (as
// its callers allow: at most 132 Tx and 170 Rx lines); the rest is a
// sequence of reports, each a length byte and that many bytes (at most 64).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "diagnostics/sensor_test_reports.h"
#include "library/library_state.h"

namespace {

using Handler = void (*)(int, int, const uint8_t*);
constexpr Handler kHandlers[] = {tmode::sensor_test1_report,   tmode::sensor_test2_report,
                                 tmode::sensor_node_report,    tmode::raw_fetch_frame_report,
                                 tmode::raw_fetch_node_report, tmode::l2_frame_report};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const Handler handler = kHandlers[data[0] % (sizeof kHandlers / sizeof kHandlers[0])];
  const int tx_total = 1 + data[1] % 132, rx_total = 1 + data[2] % 170;
  const int extra = data[3] % 4;
  tmode::MutualCapState& m = tmode::library.mutual;
  const int nodes = tx_total * rx_total + 1;
  std::unique_ptr<int16_t[]> node_buffer(new int16_t[static_cast<size_t>(nodes)]());
  m.nodes = node_buffer.get();
  m.node_count = nodes;
  m.node_rx_total = rx_total;
  m.node_values_16bit = (data[4] & 1) != 0;
  m.done.store(false);
  m.test1_toggle = 0;
  tmode::RawFetch& f = m.fetch;
  f.table = (data[4] & 2) != 0 ? m.l2.values : tmode::library.test_raw.values;
  f.skip = 1 + (data[4] >> 2) % 2;
  f.tx_total = tx_total;
  f.rx_total = rx_total;
  f.packets_per_line = (rx_total + 28) / 29;
  f.retries = 6;
  f.packets = 0;
  f.done.store(false);
  const int lines = tx_total + extra;
  std::unique_ptr<int16_t[]> frame(new int16_t[static_cast<size_t>(lines * rx_total)]());
  tmode::L2Collect& c = m.l2_collect;
  c.values = frame.get();
  c.capacity = lines * rx_total;
  c.rx_total = rx_total;
  c.last_line = lines - 1;
  c.packets_per_line = f.packets_per_line;
  c.retries = 6;
  c.packets = 0;
  c.started = false;
  c.done.store(false);

  uint8_t report[64];
  size_t at = 5;
  while (at < size) {
    size_t n = data[at++] % 65;
    if (n > size - at) n = size - at;
    std::memset(report, 0, sizeof report);
    std::memcpy(report, data + at, n);
    at += n;
    handler(0, static_cast<int>(n), report);
  }
  m.nodes = nullptr;
  m.node_count = 0;
  c.values = nullptr;
  c.capacity = 0;
  return 0;
}
