// The simulated sensor panel: its geometry, the signal of each node before
// the front end, the calibration constant and the defects a test or a user
// of tmode-sim switches on.
#pragma once

#include <cstdint>

#include "sim/sensor_noise_spike.h"

namespace tmode::sim {

inline constexpr int kPanelMaxTx = 130;  // with the two extra lines: 132
inline constexpr int kPanelMaxRx = 170;

struct PanelDefects {
  int open_tx = -1;    // a driving line whose nodes read 200 in the open-test frame
  int open_rx = -1;    // a sensing line likewise
  int dip_rx = -1;     // a sensing line reading 900 in the open-test frame
  int short_rx = -1;   // a sensing line the short test reports as 0x9C (-100)
  int short_tx = -1;   // a driving line likewise
  int noisy_tx = -1;   // the node (noisy_tx, noisy_rx) moves by +/- noise per scan and frame
  int noisy_rx = -1;
  int noise = 0;
  NoiseSpike sample_spike;  // a node that jumps on one scan or frame stream in every K
  int dead_chip = -1;  // a sensing chip whose register commands fail (status bit 7 clear)
  int corrupt_waveform_reads = 0;  // the next reads of register 144 return a changed byte
  int lost_report = -1;            // this 'J' report of every frame is never sent
  bool unended_frames = false;     // the last 'J' report of every frame is never sent
  bool outside_reports = false;    // every frame carries two reports outside it
  bool missing_end_report = false; // the short test never sends its end report
};

struct SensorPanel {
  int tx_lines = 16;
  int rx_lines = 28;
  int sensing_chips = 2;  // the sensing lines are split evenly, the first chips take the rest
  int extra_lines = 2;    // frame lines before the driving lines: the noise line, the water line
  // Without the water line the driving lines follow the noise line at once
  // in the raw, cooked, stray and saturation L2 frames, which still carry
  // extra_lines + tx_lines lines (the last ones empty).
  bool water_line = true;
  int calibration_constant = 900;
  bool plateaus = false;  // three levels of driving lines instead of a slope
  bool flat = false;      // every driving line alike: 600 x (1 + 0.002 r)
  bool measurement_at_106 = false;  // the calibration measurement at 106/107 instead of 190/191
  bool node_values_16bit = false;   // '?','S' 2 node data as int16 instead of signed bytes
  PanelDefects defects;
};

// Sensing lines of chip c and the first of them (0 for a chip past the panel).
int chip_rx_count(const SensorPanel& panel, int chip);
int chip_first_rx(const SensorPanel& panel, int chip);

// The node's signal before the front end: 600 x (1 + 0.002 t + 0.002 r), or
// with plateaus 500, 600 or 700 x (1 + 0.002 r) by the third of the panel
// the driving line lies in.
double node_signal(const SensorPanel& panel, int tx, int rx);

// The controller's open-test value of a node (2.5 x its signal) with the
// open and dip defects; 0 on a dead chip.
int16_t open_test_value(const SensorPanel& panel, int tx, int rx);

// The controller's own mutual reading of a node ('?','S' 2): a tenth of its
// signal; a tenth of that on an open line, 127 on a shorted one, 0 on a dead
// chip, the noisy node's deviation added (a tenth of it), clamped to a
// signed byte.
int mutual_node_value(const SensorPanel& panel, int tx, int rx, int sample);

// The saturation L2 extremes of a node: 3 and -3, widened by a tenth of the
// noisy node's deviation and of the noise spike's height (the extremes keep
// every sample, the spike's among them), 100 and -100 on a
// shorted line, 0 on a dead chip; clamped to signed bytes.
int8_t l2_maximum(const SensorPanel& panel, int tx, int rx);
int8_t l2_minimum(const SensorPanel& panel, int tx, int rx);

// The sensing chip of line rx (-1 past the panel).
int panel_chip_of_rx(const SensorPanel& panel, int rx);

// The short-test value of a sensing or driving line (signed byte).
int8_t short_test_value(const SensorPanel& panel, bool tx, int line);

// The noisy node's deviation at this sample: +noise on even samples, -noise on odd.
int noise_at(const SensorPanel& panel, int tx, int rx, int sample);

// True when the geometry fits the controller's tables.
bool panel_geometry_valid(const SensorPanel& panel);

}  // namespace tmode::sim
