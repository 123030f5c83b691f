// The sensing chips' front end: what a node measures under the settings the
// library wrote to a chip's registers, and the scan that '?','D' starts.
//
//   raw = clamp16(P x fW x fRS x fGA x fGB x fV x phi) + noise
//   fW  = max(waveform at registers 144..254) / 60
//   fRS = (RS + 1) / 16            RS = register 7 >> 4
//   fGA = (32 - GainA) / 24        GainA = register 7 & 15, +16 with register 11 bit 7
//   fGB = (register 3 & 0x3F) / 16
//   fV  = (384 - register 8) / 256 (the chip's CalVref)
//   phi = max(0.25, 1 - |d - D/3| / (D/2)), d = register 11 & 0x7F, D = register 13
//         (1 when D is 0)
#pragma once

#include <array>
#include <cstdint>

#include "sim/controller_state.h"

namespace tmode::sim {

using RegisterFile = std::array<uint8_t, 256>;

inline constexpr int kRowRegister = 16;  // channel k of a scanned row at 16 + 2k (int16 LE)
inline constexpr int kMaxRowChannels = 87;  // rows end below the measurement register
inline constexpr int kMeasurementRegister = 190;
inline constexpr int kMeasurementRegisterGroup2 = 106;
inline constexpr uint8_t kDifferenceRow = 194;  // register 14 value: rows of neighbour differences
inline constexpr int kWaveformRegister = 144;

// The product of the front-end factors at delay d (-1: register 11's delay).
double front_end_gain(const RegisterFile& chip, int delay);

// The sensing chip that serves sensing line rx (-1 past the panel).
int chip_of_rx(const SensorPanel& panel, int rx);

// The raw value of node (tx, rx) as its chip's registers set the front end;
// a tx range [first, last] gives the mean over those driving lines.
int16_t measure_node(const ControllerState& s, int first_tx, int last_tx, int rx, int delay);

// A scan of driving lines a to b (clipped to the panel): each sensing chip's
// row registers read back (until written again; the front end keeps using
// what was written) its lines' raw values (or neighbour differences when
// register 14 holds 194), and its measurement register the calibration
// measurement M = 1000 + [register 143 = 216] x Kc x (range + 1) x
// (256 - gain) / 256, range = register 1 >> 5, gain = register 8.
void run_scan(ControllerState& s, uint8_t a, uint8_t b);

int16_t calibration_measurement(const RegisterFile& chip, int calibration_constant);

}  // namespace tmode::sim
