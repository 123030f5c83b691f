#include "sim/sensor_panel.h"

#include <cmath>
#include <cstdlib>

namespace tmode::sim {

int chip_rx_count(const SensorPanel& panel, int chip) {
  if (chip < 0 || chip >= panel.sensing_chips || panel.sensing_chips <= 0) return 0;
  const int share = panel.rx_lines / panel.sensing_chips;
  return share + (chip < panel.rx_lines % panel.sensing_chips ? 1 : 0);
}

int chip_first_rx(const SensorPanel& panel, int chip) {
  int first = 0;
  for (int c = 0; c < chip && c < panel.sensing_chips; ++c) first += chip_rx_count(panel, c);
  return first;
}

double node_signal(const SensorPanel& panel, int tx, int rx) {
  if (panel.flat) return 600.0 * (1 + 0.002 * rx);
  if (!panel.plateaus) return 600.0 * (1 + 0.002 * tx + 0.002 * rx);
  const int third = panel.tx_lines > 0 ? tx * 3 / panel.tx_lines : 0;
  return (500.0 + 100.0 * third) * (1 + 0.002 * rx);
}

int16_t open_test_value(const SensorPanel& panel, int tx, int rx) {
  const PanelDefects& d = panel.defects;
  if (panel_chip_of_rx(panel, rx) == d.dead_chip) return 0;
  if (tx == d.open_tx || rx == d.open_rx) return 200;
  if (rx == d.dip_rx) return 900;
  return static_cast<int16_t>(std::lround(2.5 * node_signal(panel, tx, rx)));
}

int8_t short_test_value(const SensorPanel& panel, bool tx, int line) {
  const int shorted = tx ? panel.defects.short_tx : panel.defects.short_rx;
  if (line == shorted) return -100;
  return static_cast<int8_t>(line % 2 == 0 ? 2 : -3);
}

int noise_at(const SensorPanel& panel, int tx, int rx, int sample) {
  if (tx != panel.defects.noisy_tx || rx != panel.defects.noisy_rx) return 0;
  return sample % 2 == 0 ? panel.defects.noise : -panel.defects.noise;
}

int panel_chip_of_rx(const SensorPanel& panel, int rx) {
  for (int c = 0; c < panel.sensing_chips; ++c) {
    const int first = chip_first_rx(panel, c);
    if (rx >= first && rx < first + chip_rx_count(panel, c)) return c;
  }
  return -1;
}

namespace {

int clamp8(long v) { return v > 127 ? 127 : v < -128 ? -128 : static_cast<int>(v); }

bool shorted(const PanelDefects& d, int tx, int rx) { return tx == d.short_tx || rx == d.short_rx; }
bool dead(const SensorPanel& panel, int rx) { return panel_chip_of_rx(panel, rx) == panel.defects.dead_chip; }

int l2_swing(const SensorPanel& panel, int tx, int rx) {
  const PanelDefects& d = panel.defects;
  int swing = 3;
  if (tx == d.noisy_tx && rx == d.noisy_rx) swing += std::abs(d.noise) / 10;
  const NoiseSpike& spike = d.sample_spike;
  if (spike.every > 0 && tx == spike.tx && rx == spike.rx) swing += std::abs(spike.size) / 10;
  return swing;
}

}  // namespace

int mutual_node_value(const SensorPanel& panel, int tx, int rx, int sample) {
  const PanelDefects& d = panel.defects;
  if (dead(panel, rx)) return 0;
  if (shorted(d, tx, rx)) return 127;
  long value = std::lround(node_signal(panel, tx, rx) / 10);
  if (tx == d.open_tx || rx == d.open_rx) value /= 10;
  return clamp8(value + noise_at(panel, tx, rx, sample) / 10);
}

int8_t l2_maximum(const SensorPanel& panel, int tx, int rx) {
  if (dead(panel, rx)) return 0;
  if (shorted(panel.defects, tx, rx)) return 100;
  return static_cast<int8_t>(clamp8(l2_swing(panel, tx, rx)));
}

int8_t l2_minimum(const SensorPanel& panel, int tx, int rx) {
  if (dead(panel, rx)) return 0;
  if (shorted(panel.defects, tx, rx)) return -100;
  return static_cast<int8_t>(clamp8(-l2_swing(panel, tx, rx)));
}

bool panel_geometry_valid(const SensorPanel& panel) {
  return panel.tx_lines >= 1 && panel.rx_lines >= 1 && panel.sensing_chips >= 1 &&
         panel.sensing_chips <= 4 && panel.extra_lines >= 0 &&
         panel.tx_lines + panel.extra_lines <= kPanelMaxTx + 2 && panel.rx_lines <= kPanelMaxRx &&
         panel.rx_lines >= panel.sensing_chips;
}

}  // namespace tmode::sim
