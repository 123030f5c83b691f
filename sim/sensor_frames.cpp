#include "sim/sensor_frames.h"

#include <algorithm>

#include "sim/sensor_front_end.h"
#include "sim/sensor_saturation.h"

namespace tmode::sim {

namespace {

// The noise line reads a little, the water line nothing.
constexpr int16_t kNoiseLineValue = 12;

// The frame line of driving line 0: behind the extra lines, or right behind
// the noise line when the panel has no water line.
int first_tx_line(const SensorPanel& p) { return p.water_line ? p.extra_lines : std::min(1, p.extra_lines); }

// Frame lines of the panel's layout: the extra lines, then the driving lines.
void layout_frame(const SensorPanel& p, Frame& f) {
  f.lines = p.extra_lines + p.tx_lines;
  f.columns = p.rx_lines;
  f.values.assign(static_cast<size_t>(f.lines * f.columns), 0);
}

int16_t& node(Frame& f, int line, int r) { return f.values[static_cast<size_t>(line * f.columns + r)]; }

// Raw frame: the noise line, then each driving line as the chips' registers
// set the front end.
void raw_frame(const ControllerState& s, Frame& f) {
  const SensorPanel& p = s.panel;
  layout_frame(p, f);
  for (int r = 0; r < f.columns; ++r) {
    if (p.extra_lines > 0) node(f, 0, r) = kNoiseLineValue;
    for (int t = 0; t < p.tx_lines; ++t) {
      int16_t value = measure_node(s, t, t, r, -1);
      // An open line couples a tenth of the signal.
      if (t == p.defects.open_tx || r == p.defects.open_rx) value = static_cast<int16_t>(value / 10);
      node(f, first_tx_line(p) + t, r) = value;
    }
  }
}

// Open-test frame: the controller's own open measurement, independent of
// the front-end registers; a dead chip's lines read 0.
int16_t open_test_node(const SensorPanel& p, int t, int r) {
  return panel_chip_of_rx(p, r) == p.defects.dead_chip ? 0 : open_test_value(p, t, r);
}

void open_test_frame(const ControllerState& s, Frame& f) { panel_frame(s, f, open_test_node); }

// Phase data (the all-delays scan): line d holds the row of the driving
// lines of the last '?','D' at delay d, for d from 0 to register 13 of
// chip 0 minus 1.
void phase_data_frame(const ControllerState& s, Frame& f) {
  const int range = std::max<int>(1, s.registers.chips[0][13]);
  f.lines = range;
  f.columns = s.panel.rx_lines;
  f.values.assign(static_cast<size_t>(f.lines * f.columns), 0);
  for (int d = 0; d < range; ++d) {
    for (int r = 0; r < f.columns; ++r) {
      f.values[static_cast<size_t>(d * f.columns + r)] =
          measure_node(s, s.registers.scan_a, s.registers.scan_b, r, d);
    }
  }
}

// Cooked frame (raw less the baseline) of an untouched panel: the noise line
// reads 2, the water line 0, node (t, r) 3t - r plus the noisy node's swing.
void cooked_frame(const ControllerState& s, Frame& f) {
  const SensorPanel& p = s.panel;
  layout_frame(p, f);
  for (int r = 0; r < f.columns; ++r) {
    if (p.extra_lines > 0) node(f, 0, r) = 2;
    for (int t = 0; t < p.tx_lines; ++t) {
      node(f, first_tx_line(p) + t, r) = static_cast<int16_t>(3 * t - r + noise_at(p, t, r, s.stream.frames));
    }
  }
}

// Stray frame: the noise line reads 12, the water line 0, node (t, r) 40 + 5t + r.
void stray_frame(const ControllerState& s, Frame& f) {
  const SensorPanel& p = s.panel;
  layout_frame(p, f);
  for (int r = 0; r < f.columns; ++r) {
    if (p.extra_lines > 0) node(f, 0, r) = kNoiseLineValue;
    for (int t = 0; t < p.tx_lines; ++t) node(f, first_tx_line(p) + t, r) = static_cast<int16_t>(40 + 5 * t + r);
  }
}

// Saturation L2 frame: each node's maximum in the high byte and its minimum
// in the low byte; the extra lines read 0.
int16_t saturation_l2_node(const SensorPanel& p, int t, int r) {
  const auto high = static_cast<uint8_t>(l2_maximum(p, t, r)), low = static_cast<uint8_t>(l2_minimum(p, t, r));
  return static_cast<int16_t>(high << 8 | low);
}

void saturation_l2_frame(const ControllerState& s, Frame& f) { panel_frame(s, f, saturation_l2_node); }

// A 16-bit value of a 'J' report, low byte first.
void append_value(Bytes& payload, int16_t value) {
  const auto v = static_cast<uint16_t>(value);
  payload.push_back(static_cast<uint8_t>(v & 0xFF));
  payload.push_back(static_cast<uint8_t>(v >> 8));
}

// A 'J' report of count equal values.
Bytes j_report(int line, int first, int count, int16_t value) {
  Bytes payload{'J', static_cast<uint8_t>(line), static_cast<uint8_t>(first)};
  for (int k = 0; k < count; ++k) append_value(payload, value);
  return frame_report(payload);
}

struct FrameSource {
  uint16_t word;
  void (*produce)(const ControllerState&, Frame&);
};

constexpr FrameSource kSources[] = {
    {kWordRawL2, raw_frame},
    {kWordCookL2, cooked_frame},
    {kWordStrayL2, stray_frame},
    {kWordRaw, raw_frame},
    {kWordCook, cooked_frame},
    {kWordSaturationL2, saturation_l2_frame},
    {kWordSaturation, saturation_frame},
    {kWordPhaseData, phase_data_frame},
    {kWordOpenTest, open_test_frame},
};

}  // namespace

void panel_frame(const ControllerState& s, Frame& f, int16_t (*value)(const SensorPanel&, int tx, int rx)) {
  const SensorPanel& p = s.panel;
  layout_frame(p, f);
  for (int t = 0; t < p.tx_lines; ++t) {
    for (int r = 0; r < f.columns; ++r) node(f, first_tx_line(p) + t, r) = value(p, t, r);
  }
}

bool produce_frame(const ControllerState& s, uint16_t word, Frame& frame) {
  for (const FrameSource& source : kSources) {
    if (source.word != word) continue;
    source.produce(s, frame);
    return true;
  }
  return false;
}

std::vector<Bytes> frame_reports(const Frame& frame) {
  std::vector<Bytes> reports;
  for (int line = 0; line < frame.lines; ++line) {
    for (int first = 0; first < frame.columns; first += kValuesPerReport) {
      const int n = std::min(kValuesPerReport, frame.columns - first);
      Bytes payload{'J', static_cast<uint8_t>(line), static_cast<uint8_t>(first)};
      for (int k = 0; k < n; ++k) append_value(payload, frame.values[static_cast<size_t>(line * frame.columns + first + k)]);
      reports.push_back(frame_report(payload));
    }
  }
  return reports;
}

std::vector<Bytes> stream_reports(ControllerState& s, const Frame& frame) {
  const PanelDefects& d = s.panel.defects;
  std::vector<Bytes> all = frame_reports(frame);
  std::vector<Bytes> out;
  for (size_t i = 0; i < all.size(); ++i) {
    if (static_cast<int>(i) == d.lost_report) continue;
    if (d.unended_frames && i + 1 == all.size()) continue;
    if (d.outside_reports && i == 1) {
      // A line past the last one, and a report running past the last channel.
      out.push_back(j_report(frame.lines, 0, std::min(kValuesPerReport, frame.columns), 0x7777));
      out.push_back(j_report(0, std::max(0, frame.columns - 1), 2, 0x7777));
    }
    out.push_back(std::move(all[i]));
  }
  StreamState& stream = s.stream;
  if (stream.report_limit >= 0 && stream.reports + static_cast<int>(out.size()) >= stream.report_limit) {
    out.resize(static_cast<size_t>(std::max(0, stream.report_limit - stream.reports)));
    stream.active = false;
  }
  stream.reports += static_cast<int>(out.size());
  return out;
}

}  // namespace tmode::sim
