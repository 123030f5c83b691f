#include "sim/sensor_frames.h"

#include <algorithm>

#include "sim/sensor_front_end.h"
#include "sim/sensor_saturation.h"

namespace tmode::sim {

namespace {

// The noise line reads a little, the water line nothing.
constexpr int16_t kNoiseLineValue = 12;

// Raw frame: the extra lines, then each driving line as the chips'
// registers set the front end; an open line couples a tenth of that.
void raw_frame(const ControllerState& s, Frame& f) {
  const SensorPanel& p = s.panel;
  f.lines = p.extra_lines + p.tx_lines;
  f.columns = p.rx_lines;
  f.values.assign(static_cast<size_t>(f.lines * f.columns), 0);
  for (int r = 0; r < f.columns; ++r) {
    if (p.extra_lines > 0) f.values[static_cast<size_t>(r)] = kNoiseLineValue;
    for (int t = 0; t < p.tx_lines; ++t) {
      int16_t value = measure_node(s, t, t, r, -1);
      if (t == p.defects.open_tx || r == p.defects.open_rx) value = static_cast<int16_t>(value / 10);
      f.values[static_cast<size_t>((p.extra_lines + t) * f.columns + r)] = value;
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

// Saturation L2 frame: each node's maximum in the high byte and its minimum
// in the low byte; the extra lines read 0.
int16_t saturation_l2_node(const SensorPanel& p, int t, int r) {
  const auto high = static_cast<uint8_t>(l2_maximum(p, t, r)), low = static_cast<uint8_t>(l2_minimum(p, t, r));
  return static_cast<int16_t>(high << 8 | low);
}

void saturation_l2_frame(const ControllerState& s, Frame& f) { panel_frame(s, f, saturation_l2_node); }

struct FrameSource {
  uint16_t word;
  void (*produce)(const ControllerState&, Frame&);
};

constexpr FrameSource kSources[] = {
    {kWordRawL2, raw_frame},
    {kWordRaw, raw_frame},
    {kWordPhaseData, phase_data_frame},
    {kWordOpenTest, open_test_frame},
    {kWordSaturationL2, saturation_l2_frame},
    {kWordSaturationDifference, saturation_frame},
};

}  // namespace

void panel_frame(const ControllerState& s, Frame& f, int16_t (*node)(const SensorPanel&, int tx, int rx)) {
  const SensorPanel& p = s.panel;
  f.lines = p.extra_lines + p.tx_lines;
  f.columns = p.rx_lines;
  f.values.assign(static_cast<size_t>(f.lines * f.columns), 0);
  for (int t = 0; t < p.tx_lines; ++t) {
    for (int r = 0; r < f.columns; ++r) f.values[static_cast<size_t>((p.extra_lines + t) * f.columns + r)] = node(p, t, r);
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
      for (int k = 0; k < n; ++k) {
        const auto v = static_cast<uint16_t>(frame.values[static_cast<size_t>(line * frame.columns + first + k)]);
        payload.push_back(static_cast<uint8_t>(v & 0xFF));
        payload.push_back(static_cast<uint8_t>(v >> 8));
      }
      reports.push_back(frame_report(payload));
    }
  }
  return reports;
}

}  // namespace tmode::sim
