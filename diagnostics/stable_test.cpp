#include "diagnostics/stable_test.h"

#include <cstring>

#include "diagnostics/open_short_tests.h"
#include "maintenance/chip_registers.h"
#include "maintenance/test_commands.h"
#include "tuning/front_end.h"
#include "tuning/tuner_trace.h"

namespace tmode {

namespace {

constexpr int kMaxStableChannels = 127;
constexpr int kRowBase = 8;  // channel k's reading lies at register (k + 8) x 2
constexpr int kGainDByte = 18;  // of the frequency record: picks the stable value

int fail(Tuner& tuner) {
  trace(tuner, "\nSingle End Stable Test Fail\n");
  clear_tuner_frame_flags();
  return -1;
}

// Reads back the 16 registers of the chip and rewrites them while they
// differ, at most 20 tries.
bool verify_chip(int chip, const uint8_t* expected) {
  for (int attempt = 0; attempt < kStableVerifyTries; ++attempt) {
    uint8_t back[kTemplateSize];
    if (read_chip_registers(chip, 0, kTemplateSize, back) == kTemplateSize &&
        std::memcmp(back, expected, kTemplateSize) == 0) {
      return true;
    }
    write_chip_registers(chip, 0, kTemplateSize, expected);
  }
  return false;
}

// The value for register 138 from the frequency record's GainD0 byte; the
// setting as it is when the record or the index lies past the tables.
void derive_stable_value(Tuner& tuner) {
  StableTestSettings& s = tuner.stable;
  if (s.current_frequency >= kMaxFrequencies) return;
  const int index = tuner.hardware_block[hw::frequency_block(s.current_frequency) + kGainDByte];
  if (index < kStableValues) s.value = s.values[index];
}

}  // namespace

bool stable_range_fits(int first, int last) {
  if (first < 0 || first > last) return false;
  const int channels = last - first + 1;
  return channels <= kMaxStableChannels && (first + kRowBase) * 2 + channels * 2 <= 256;
}

int single_end_stable_test(Tuner& tuner) {
  StableTestSettings& s = tuner.stable;
  trace(tuner, "\nStart Single End Stable Test\n");
  int first = s.first_rx, last = s.last_rx;
  if (first == 0 && last == 0) {
    first = s.range_start;
    last = s.range_end + 1;
    if (s.add_28 != 0) {
      first += 28;
      last += 28;
    }
    derive_stable_value(tuner);
  }
  if (!stable_range_fits(first, last)) return fail(tuner);

  const uint8_t tolerance = s.tolerance;
  uint8_t block[kTemplateSize] = {0x33, 0xE2, 0x08, 0x41, 0, static_cast<uint8_t>(first),
                                  static_cast<uint8_t>(last + 1), static_cast<uint8_t>((tolerance & 0x0F) | 0x10),
                                  0, 0, 0, static_cast<uint8_t>(((tolerance & 0x10) * 8) | 10),
                                  0x4C, 12, 0, 0};
  if (s.register_variant == 0) {
    block[2] = 0x21;
    block[12] = 12;
  }
  uint8_t divider = 0;
  command_3f_4f(0, &divider);
  write_chip_registers(kAllChips, kPhaseByte, 1, block + kPhaseByte);
  write_chip_registers(kAllChips, 0, kTemplateSize, block);
  const uint8_t value_block[8] = {0, 0, static_cast<uint8_t>(s.value * 16), 0, 0, 0, 0, 0};
  write_chip_registers(kAllChips, 136, 8, value_block);

  for (int c = 0; c < kStableChips; ++c) {
    s.verified_gain_a[c] = static_cast<uint8_t>((block[11] & 0x10) | (block[7] & 0x0F));
    s.verified_rs[c] = static_cast<uint8_t>(block[7] >> 4);
  }
  // Chip 0 takes its own gain and range; the other chips keep the block.
  uint8_t chip0[kTemplateSize];
  std::memcpy(chip0, block, sizeof chip0);
  chip0[8] = s.register_8;
  write_chip_registers(0, 8, 1, chip0 + 8);
  chip0[1] = static_cast<uint8_t>((chip0[1] & 0x0F) | (s.register_1 << 4));
  write_chip_registers(0, 1, 1, chip0 + 1);
  const int chips = sensing_chip_count(tuner);
  if (chips == 0) return fail(tuner);
  for (int c = 0; c < chips; ++c) {
    if (!verify_chip(c, c == 0 ? chip0 : block)) return fail(tuner);
  }

  block[kPhaseByte] |= 0x02;
  write_chip_registers(kAllChips, kPhaseByte, 1, block + kPhaseByte);

  int max[kBiasTableColumns], min[kBiasTableColumns];
  for (int k = 0; k < kBiasTableColumns; ++k) {
    max[k] = -32768;
    min[k] = 32767;
  }
  const int channels = last - first + 1;
  uint8_t row[2 * kMaxStableChannels];
  for (int scan = 0; scan < kStableScans; ++scan) {
    if (start_chip_scan(kAllChips, kAllChips) != 0 ||
        read_chip_registers(0, (first + kRowBase) * 2, channels * 2, row) != channels * 2) {
      return fail(tuner);
    }
    for (int k = 0; k < channels; ++k) {
      const int reading = static_cast<int16_t>(row[2 * k] | row[2 * k + 1] << 8);
      // A reading that raises the maximum is not taken for the minimum.
      if (reading > max[k]) {
        max[k] = reading;
      } else if (reading < min[k]) {
        min[k] = reading;
      }
    }
  }

  trace(tuner, "\r\nThreshold:,%d,\r\n", s.threshold);
  trace(tuner, "BiasTestTolerance:,%d,\r\n", tolerance);
  bool pass = true;
  for (int r = 0; r < last - first; ++r) {
    // The span of the two readings taken as unsigned 16-bit values.
    const int span = static_cast<uint16_t>(static_cast<uint16_t>(max[r]) - static_cast<uint16_t>(min[r]));
    const bool line_pass = span <= s.threshold;
    if (!line_pass) {
      tuner.failed_rx[r] = 1;
      if (tuner.mark_only == 0) pass = false;
    }
    if (tuner.mark_only == 0) trace(tuner, "Rx[%d],%d,%s\r\n", r, span, line_pass ? "Pass" : "Fail");
  }
  clear_tuner_frame_flags();
  trace(tuner, pass ? "\nSingle End Stable Test PASS\n" : "\nSingle End Stable Test FAIL\n");
  return pass ? 0 : -1;
}

}  // namespace tmode
