#include "sim/sensor_test_modes.h"

#include <algorithm>
#include <vector>

#include "sim/sensor_frames.h"

namespace tmode::sim {

namespace {

constexpr int kNodeValuesPerReport = 28;
// A long series of reports is streamed, not written in one burst that
// would overrun the node's queue.
constexpr int kReportsPerMs = 8;

void put16(Bytes& b, int value) {
  const auto v = static_cast<uint16_t>(static_cast<int16_t>(value));
  b.push_back(static_cast<uint8_t>(v & 0xFF));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void line_readings(CommandContext& c) {
  const SensorPanel& p = c.state.panel;
  auto reading = [&](int tx, int rx) { return panel_chip_of_rx(p, rx) == p.defects.dead_chip ? 0 : open_test_value(p, tx, rx); };
  auto send = [&](uint8_t kind, int line, int value) {
    Bytes payload{'?', 'S', kind, static_cast<uint8_t>(line)};
    put16(payload, value);
    c.reply(payload);
  };
  for (int r = 0; r < p.rx_lines; ++r) {
    send(0x00, r, reading(0, r));
    send(0x00, r, reading(p.tx_lines - 1, r));
  }
  for (int t = 0; t < p.tx_lines; ++t) {
    send(0x80, t, reading(t, 0));
    send(0x80, t, reading(t, p.rx_lines - 1));
  }
  if (!p.defects.missing_end_report) c.reply({'?', 'S', 0x80});
}

// Node rows [kind, 0xFF, tx, first rx, values] from a value per node.
template <typename Value>
void node_rows(CommandContext& c, uint8_t kind, bool wide, Value value) {
  const SensorPanel& p = c.state.panel;
  for (int t = 0; t < p.tx_lines; ++t) {
    for (int first = 0; first < p.rx_lines; first += kNodeValuesPerReport) {
      const int n = std::min(kNodeValuesPerReport, p.rx_lines - first);
      Bytes payload{'?', 'S', kind, 0xFF, static_cast<uint8_t>(t), static_cast<uint8_t>(first)};
      for (int k = 0; k < n; ++k) {
        const int v = value(t, first + k);
        if (wide) {
          put16(payload, v);
        } else {
          payload.push_back(static_cast<uint8_t>(static_cast<int8_t>(v)));
        }
      }
      c.reply(payload);
    }
  }
  if (!p.defects.missing_end_report) c.reply({'?', 'S', static_cast<uint8_t>(kind | 0x80)});
}

}  // namespace

void send_test_mode_reports(CommandContext& c, int mode) {
  ControllerState& s = c.state;
  c.reports_per_ms = kReportsPerMs;
  switch (mode) {
    case 0:
      line_readings(c);
      return;
    case 2:
    case 3: {
      const int sample = s.registers.scans + s.stream.frames;
      node_rows(c, 0x02, s.panel.node_values_16bit,
                [&](int t, int r) { return mutual_node_value(s.panel, t, r, sample); });
      return;
    }
    case 8: {
      Frame frame;
      produce_frame(s, kWordRaw, frame);
      const int extra = s.panel.extra_lines;
      node_rows(c, 0x08, true, [&](int t, int r) {
        return frame.values[static_cast<size_t>((extra + t) * frame.columns + r)];
      });
      return;
    }
    default:
      return;
  }
}

}  // namespace tmode::sim
