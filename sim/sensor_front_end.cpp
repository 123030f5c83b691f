#include "sim/sensor_front_end.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tmode::sim {

namespace {

int16_t clamp16(double v) {
  return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

// A scan result, read back until the library writes the address again.
void put_i16(RegisterState& r, int chip, int at, int16_t value) {
  if (at < 0 || at + 1 > 255) return;
  const auto c = static_cast<size_t>(chip), a = static_cast<size_t>(at);
  r.scanned[c][a] = static_cast<uint8_t>(value & 0xFF);
  r.scanned[c][a + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  r.scan_written[c][a] = true;
  r.scan_written[c][a + 1] = true;
}

// The last driving line scanned, clipped to the panel.
int clip_tx(const SensorPanel& panel, int tx) { return std::clamp(tx, 0, panel.tx_lines - 1); }

}  // namespace

double front_end_gain(const RegisterFile& chip, int delay) {
  const uint8_t* wave = &chip[kWaveformRegister];
  const int wave_max = *std::max_element(wave, wave + (256 - kWaveformRegister));
  const double f_wave = wave_max / 60.0;
  const int rs = chip[7] >> 4;
  const int gain_a = (chip[7] & 15) + ((chip[11] & 0x80) ? 16 : 0);
  const double f_rs = (rs + 1) / 16.0;
  const double f_ga = (32 - gain_a) / 24.0;
  const double f_gb = (chip[3] & 0x3F) / 16.0;
  const double f_v = (384 - chip[8]) / 256.0;
  const int d = delay >= 0 ? delay : chip[11] & 0x7F;
  const int range = chip[13];
  double phase = 1.0;
  if (range > 0) phase = std::max(0.25, 1.0 - std::fabs(d - range / 3.0) / (range / 2.0));
  return f_wave * f_rs * f_ga * f_gb * f_v * phase;
}

int chip_of_rx(const SensorPanel& panel, int rx) { return panel_chip_of_rx(panel, rx); }

int16_t measure_node(const ControllerState& s, int first_tx, int last_tx, int rx, int delay) {
  const SensorPanel& panel = s.panel;
  const int chip = chip_of_rx(panel, rx);
  if (chip < 0 || chip >= kSimChips || chip == panel.defects.dead_chip) return 0;
  const int a = clip_tx(panel, first_tx), b = std::max(a, clip_tx(panel, last_tx));
  const double gain = front_end_gain(s.registers.chips[static_cast<size_t>(chip)], delay);
  double sum = 0;
  int noise = 0;
  for (int t = a; t <= b; ++t) {
    sum += node_signal(panel, t, rx);
    const int sample = s.registers.scans + s.stream.selections + s.stream.frames;
    noise += noise_at(panel, t, rx, sample) + spike_at(panel.defects.sample_spike, t, rx, sample);
  }
  return clamp16(sum / (b - a + 1) * gain + noise);
}

int16_t calibration_measurement(const RegisterFile& chip, int calibration_constant) {
  const int range = chip[1] >> 5;
  const int gain = chip[8];
  const long charge = chip[143] == 216 ? 1L * calibration_constant * (range + 1) * (256 - gain) / 256 : 0;
  return clamp16(1000.0 + static_cast<double>(charge));
}

void run_scan(ControllerState& s, uint8_t a, uint8_t b) {
  const SensorPanel& panel = s.panel;
  for (int c = 0; c < panel.sensing_chips && c < kSimChips; ++c) {
    if (c == panel.defects.dead_chip) continue;
    const RegisterFile& chip = s.registers.chips[static_cast<size_t>(c)];
    const int first = chip_first_rx(panel, c);
    // Rows stop short of the measurement register.
    const int count = std::min(chip_rx_count(panel, c), kMaxRowChannels);
    const bool differences = chip[14] == kDifferenceRow;
    int16_t previous = 0;
    for (int k = count - 1; k >= 0; --k) {
      const int16_t value = measure_node(s, a, b, first + k, -1);
      const int16_t stored = differences ? static_cast<int16_t>(k == count - 1 ? 0 : previous - value) : value;
      put_i16(s.registers, c, kRowRegister + 2 * k, stored);
      previous = value;
    }
    const int at = panel.measurement_at_106 ? kMeasurementRegisterGroup2 : kMeasurementRegister;
    put_i16(s.registers, c, at, calibration_measurement(chip, panel.calibration_constant));
  }
}

}  // namespace tmode::sim
