// The Tuner's settings and tables for the hardware bias test and the
// single-end stable test, and the Rx lines they found unsteady.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kBiasTableLines = 132;
inline constexpr int kBiasTableColumns = 172;
inline constexpr int kFailedRxMarks = 136;
inline constexpr int kStableValues = 16;  // per-frequency stable values, by the record's GainD0 byte
inline constexpr int kStableChips = 4;

struct BiasTestSettings {
  uint8_t repeat_count = 0;  // frames per phase (N); 0 is refused
  int32_t threshold = 0;     // percent; ratios are tenths of a percent
  uint8_t line_output = 0;   // nonzero: one line per Rx when not mark-only
  // Spread ratios per node: table A of raw frames, table B of open-test frames.
  int16_t ratio_a[kBiasTableLines][kBiasTableColumns] = {};
  int16_t ratio_b[kBiasTableLines][kBiasTableColumns] = {};
};

struct StableTestSettings {
  uint8_t first_rx = 0;  // 0, 0: derived from range_start and range_end
  uint8_t last_rx = 0;
  uint8_t tolerance = 0;  // "BiasTestTolerance": bits 0-3 and bit 4 go to the register block
  uint8_t value = 0;      // register 138 bits 4-7
  int32_t threshold = 0;  // largest span (max - min) a channel may show
  int32_t add_28 = 0;          // nonzero: the derived range starts 28 channels on
  int32_t register_variant = 0;  // 0: register block bytes 2 and 12 are 0x21 and 12
  // The settings the derived range and value come from.
  uint8_t range_start = 0;
  uint8_t range_end = 0;
  uint8_t current_frequency = 0;  // the frequency record whose byte 18 picks the value
  uint8_t values[kStableValues] = {};
  uint8_t register_8 = 0;  // chip 0 register 8
  uint8_t register_1 = 0;  // high nibble of chip 0 register 1
  // Recorded for the register verification of the tuning stages.
  uint8_t verified_gain_a[kStableChips] = {};  // register 11 bit 4 | register 7 low nibble
  uint8_t verified_rs[kStableChips] = {};      // register 7 high nibble
};

}  // namespace tmode
