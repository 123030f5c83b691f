#include "tuning/calibration.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/log_stream.h"
#include "link/output_sink.h"
#include "maintenance/byte_order.h"
#include "maintenance/chip_registers.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/test_commands.h"
#include "protocol/controller_commands.h"
#include "protocol/direct_commands.h"
#include "protocol/protocol_state.h"
#include "tuning/frame_capture.h"
#include "tuning/front_end.h"
#include "tuning/phase_peaks.h"
#include "tuning/phase_signal.h"
#include "tuning/tuner_trace.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

struct CalibrationTemplate {
  int target;
  uint8_t bytes[kTemplateSize];
};

constexpr CalibrationTemplate kTemplateA = {
    3600, {0x33, 0xF6, 0x23, 0x3F, 0x40, 0x00, 0x58, 0x18, 0x80, 0x00, 0x00, 0x8A, 0x1F, 0x5D, 0x98, 0x00}};
constexpr CalibrationTemplate kTemplateB = {
    6947, {0x33, 0xE6, 0x23, 0x3F, 0x00, 0x00, 0x58, 0x18, 0x80, 0x00, 0x00, 0x8A, 0x1F, 0x5D, 0xD8, 0x00}};
constexpr CalibrationTemplate kTemplateC = {
    7097, {0x33, 0xE6, 0x09, 0x3F, 0x50, 0x00, 0x2E, 0x18, 0x80, 0x00, 0x00, 0x8A, 0xDF, 0x5D, 0xD8, 0x00}};

constexpr int kMeasurementRegister = 190;
constexpr int kMeasurementRegisterGroup2 = 106;
constexpr int kSelectRegister = 143;
constexpr uint8_t kChargeSelect = 216;
constexpr uint8_t kReferenceSelect = 48;
constexpr int kCalibrationDataOffset = 396;  // the calibration data value, i16
constexpr int kRawFloor = 30;
constexpr int kMaxReversals = 201;

// The CalVref search between 0 and 255: each step moves the gain up or down
// by half the interval left, and too many reversals in a row end it.
struct GainBisection {
  int low = 0, high = 255, gain;
  int last_move = 0, reversals = 0;

  bool open() const { return high > low + 1; }
  // False when the search reversed too often and must stop.
  bool step(int move) {
    reversals = last_move != 0 && move != last_move ? reversals + 1 : 0;
    last_move = move;
    if (reversals >= kMaxReversals) return false;
    if (move > 0) {
      low = gain;
      gain = (gain + high + 1) / 2;
    } else {
      high = gain;
      gain = (gain + low) / 2;
    }
    return true;
  }
};

bool in_list(int code, std::initializer_list<int> codes) {
  for (int c : codes) {
    if (c == code) return true;
  }
  return false;
}

bool mode_three(const Tuner& tuner) { return tuner.params.calibrate_mode == 3 || tuner.model_group_2; }

const CalibrationTemplate& choose_template(const Tuner& tuner) {
  if (tuner.model_group_2) return kTemplateC;
  if (tuner.params.calibrate_mode == 3 && tuner.controller_level >= 4) return kTemplateB;
  return kTemplateA;
}

void write_byte(int chip, int reg, uint8_t value) { write_chip_registers(chip, reg, 1, &value); }

// Clears the phase bits of the template and writes register 14.
void clear_phase(uint8_t* t) { write_phase_bits(t, 0); }

// Step 4 of the calibration: the template, each chip's 8 bytes at 136
// saved and cleared, the measurement rows preset to 128, bit 6 of byte 4.
void prepare_front_end(Tuner& tuner, uint8_t* t, uint8_t (*saved)[8]) {
  write_chip_registers(kAllChips, 0, kTemplateSize, t);
  for (int c = 0; c < sensing_chip_count(tuner); ++c) read_chip_registers(c, 136, 8, saved[c]);
  const uint8_t zeros[kMaxWaveformLength] = {};
  write_chip_registers(kAllChips, 136, 8, zeros);
  write_chip_registers(kAllChips, 136, kMaxWaveformLength, zeros);
  write_phase_bits(t, 1);
  uint8_t preset[88];
  std::memset(preset, 128, sizeof preset);
  write_chip_registers(kAllChips, 16, tuner.model_group_2 ? 46 : 88, preset);
  t[kPhaseByte] &= 0xFC;
  t[4] |= 0x40;
  if (tuner.model_group_2) t[2] &= 0xFE;
  write_chip_registers(kAllChips, 0, kTemplateSize, t);
  for (int c = 0; c < sensing_chip_count(tuner); ++c) write_chip_registers(c, 136, 8, saved[c]);
}

void restore_136(Tuner& tuner, uint8_t (*saved)[8]) {
  for (int c = 0; c < sensing_chip_count(tuner); ++c) write_chip_registers(c, 136, 8, saved[c]);
}

int32_t measure_trimmed(Tuner& tuner, uint8_t* t, uint8_t select) {
  clear_phase(t);
  write_byte(0, kSelectRegister, select);
  int32_t sum = 0, largest = -2147483647, smallest = 2147483647;
  for (int i = 0; i < 34; ++i) {
    const int32_t v = measure_average(tuner, t, 0, 1);
    sum += v;
    if (v > largest) largest = v;
    if (v < smallest) smallest = v;
  }
  return (sum - largest - smallest) / 32;
}

}  // namespace

void prepare_calibration(Tuner& tuner) {
  const int code = maintenance_state().model_code;
  tuner.model_group_1 = in_list(code, {38, 40, 46, 48, 52});
  tuner.model_group_2 = code >= 54 && code <= 92 && code % 2 == 0;
  tuner.model_group_3 = in_list(code, {64, 66, 68, 70, 72, 84, 86, 88, 90, 92});
  uint8_t info[64] = {};
  const bool read = query_features(0, 0, info) >= 0;
  bool use = read && tuner.controller_level >= 6 && info[22] != 0;
  if (tuner.controller_level == 6 && info[15] < 22) use = false;
  tuner.use_reference_calibration = use;
}

int32_t measure_average(Tuner& tuner, uint8_t* t, int chip, int count) {
  if (count < 1) count = 1;
  const int reg = tuner.model_group_2 ? kMeasurementRegisterGroup2 : kMeasurementRegister;
  uint8_t sample[2] = {0, 0};
  int32_t sum = 0;
  for (int i = 0; i < count; ++i) {
    start_chip_scan(0, 255);
    write_phase_bits(t, 2);
    read_chip_registers(chip, reg, 2, sample);
    sum += static_cast<int16_t>(read_le16(sample));
  }
  return sum / count;
}

int calibrate(Tuner& tuner, int, int) {
  prepare_calibration(tuner);
  if (tuner.use_reference_calibration) return calibrate_by_reference(tuner);
  trace(tuner, "Calibrating... ");
  trace_stamp(tuner);
  const CalibrationTemplate& chosen = choose_template(tuner);
  const int target = chosen.target;
  const bool mode3 = mode_three(tuner);
  const int pass = tuner.params.cal_tolerance1 * target / 1000;
  const int fail = tuner.params.cal_tolerance2 * target / 1000;
  uint8_t t[kTemplateSize];
  std::memcpy(t, chosen.bytes, sizeof t);
  uint8_t saved[kMaxSensingChips][8] = {};
  prepare_front_end(tuner, t, saved);

  int best_diff = 30000, best_gain = t[8], best_value = 0, best_range_byte = tuner.cal_range[0];
  bool found = false;
  for (int range = 7; range >= 0 && !found; ) {
    int low = 0, high = 256, gain = 128;
    while (high > low + 1) {
      t[8] = static_cast<uint8_t>(gain);
      write_byte(0, 8, t[8]);
      clear_phase(t);
      write_byte(0, kSelectRegister, kChargeSelect);
      const int32_t a = measure_average(tuner, t, 0, 10);
      clear_phase(t);
      write_byte(0, kSelectRegister, kReferenceSelect);
      const int32_t b = measure_average(tuner, t, 0, 10);
      clear_phase(t);
      const int value = a - b;
      if (std::abs(value - target) < best_diff) {
        best_diff = std::abs(value - target);
        best_gain = gain;
        best_value = value;
        best_range_byte = mode3 ? range * 2 : range * 2 + 1;
        tuner.cal_range[0] = static_cast<uint8_t>(best_range_byte);
      }
      if (best_diff <= pass) {
        found = true;
        break;
      }
      if (value > target) {
        low = gain;
        gain = (gain + high) / 2;
      } else {
        high = gain;
        gain = (gain + low) / 2;
      }
    }
    if (!found) --range;
    // Past range 0 there is no range to write.
    if (range >= 0) {
      t[1] = static_cast<uint8_t>(range * 32 + (mode3 ? 6 : 22));
      write_byte(kAllChips, 1, t[1]);
    }
  }

  if (best_diff < fail) {
    tuner.cal_vref[0] = static_cast<uint8_t>(best_gain);
    tuner.cal_range[0] = static_cast<uint8_t>(best_range_byte);
    tuner.hardware_block[hw::kCalVref] = static_cast<uint8_t>(best_gain);
    tuner.hardware_block[hw::kSensorConfiguration + cfg::cal_vref_range(0)] = static_cast<uint8_t>(best_range_byte);
    trace(tuner, "IC NO =%d, Range=%d, Index=%d, Value=%d, Diff=%d, Percentage=%d", 0, best_range_byte, target,
          best_value, best_diff, best_diff * 100 / target);
    trace_stamp(tuner);
    trace(tuner, "\nGet Calibrating data Success");
    trace_stamp(tuner);
    clear_phase(t);
    restore_136(tuner, saved);
    trace(tuner, "\nCalibration Pass");
    trace_stamp(tuner);
    return 1;
  }
  trace(tuner, "IC NO =%d, Range=%d, Index=%d, Value=%d, Diff=%d", 0, best_range_byte, target, best_value, best_diff);
  trace_stamp(tuner);
  trace(tuner, "\nCalibrating Fail... ");
  trace_stamp(tuner);
  return 0;
}

int calibrate_by_reference(Tuner& tuner) {
  trace(tuner, "Calibrating... ");
  trace_stamp(tuner);
  uint8_t t[kTemplateSize];
  std::memcpy(t, tuner.model_group_2 ? kTemplateC.bytes : kTemplateB.bytes, sizeof t);
  if (tuner.model_group_2) {
    t[2] |= 0x01;
  } else {
    t[12] |= 0x80;
  }
  uint8_t saved[kMaxSensingChips][8] = {};
  prepare_front_end(tuner, t, saved);
  const int32_t first = measure_trimmed(tuner, t, kChargeSelect);
  const int32_t second = measure_trimmed(tuner, t, kReferenceSelect);
  if (first == second) {
    trace(tuner, "\nCalibrating Fail... ");
    trace_stamp(tuner);
    return 0;
  }
  const auto data = static_cast<int16_t>(247500 / (first - second));
  write_le16(tuner.hardware_block + kCalibrationDataOffset, static_cast<uint16_t>(data));
  trace(tuner, "\nCalibration Data = %d", data);
  trace_stamp(tuner);
  trace(tuner, "\nCalibration Pass");
  trace_stamp(tuner);
  return 1;
}

namespace {

// The means of targets 1 to 5 of the first working frequency at one gain.
struct PairMeans {
  long near_sum = 0, far_sum = 0, delta_sum = 0;
};

int line_stride(const Tuner& tuner) {
  return tuner.controller_level > 99 ? sensing_chip_count(tuner) * 88 : receive_line_count(tuner);
}

bool capture_targets(Tuner& tuner) {
  for (int f = 1; f <= 5; ++f) {
    if (!capture_frame(tuner, 0, f, tuner.working[0].gain_b[f], false)) return false;
  }
  return true;
}

// The raw value at (f x stride + column): row f, column in the tuner's raw table.
int raw_at(const Tuner& tuner, int f, int column) {
  return column >= 0 && column < kRawTableColumns ? tuner.raw_table[f][column] : 0;
}

}  // namespace

int calibrate_vref_pair(Tuner& tuner, int chip, int line_offset, int capture_mode) {
  if (chip < 0 || chip >= sensing_chip_count(tuner) || !load_working_tables(tuner, capture_mode)) return 0;
  if (line_stride(tuner) <= 0) return 0;
  int best_delta = 65535, best_gain = tuner.cal_vref[chip], best_range = tuner.cal_range[chip];
  for (int range = 7; range >= 0; --range) {
    tuner.cal_range[chip] = static_cast<uint8_t>(range * 2 + 1);
    GainBisection search{.gain = tuner.cal_vref[chip]};
    while (search.open()) {
      const int gain = search.gain;
      tuner.cal_vref[chip] = static_cast<uint8_t>(gain);
      tuner.hardware_block[hw::kCalVref + chip] = static_cast<uint8_t>(gain);
      if (!capture_targets(tuner)) return 0;
      PairMeans m;
      for (int f = 1; f <= 5; ++f) {
        const int near = raw_at(tuner, f, line_offset - 1), far = raw_at(tuner, f, line_offset);
        m.near_sum += near;
        m.far_sum += far;
        m.delta_sum += std::abs(near - far);
      }
      const long tolerance = tuner.params.cal_tolerance3 * (m.near_sum / 5) / 1000;
      long a = m.near_sum / 5, b = m.far_sum / 5;
      if (tuner.params.cal_last_ic) std::swap(a, b);
      if (a < kRawFloor || b < kRawFloor) {
        out_printf("\nRaw Data Error Use The Same CalVref");
        return 0;
      }
      if (m.delta_sum / 5 < tolerance || std::labs(a - b) < tolerance) return 1;
      if (std::labs(a - b) < best_delta) {
        best_delta = static_cast<int>(std::labs(a - b));
        best_gain = gain;
        best_range = range;
      }
      if (!search.step(a <= b ? 1 : -1)) break;
    }
  }
  tuner.cal_vref[chip] = static_cast<uint8_t>(best_gain);
  tuner.hardware_block[hw::kCalVref + chip] = static_cast<uint8_t>(best_gain);
  out_puts("CalVref not in tolerance");
  out_printf("IC%d, Best Range = %d, Best Gain = %d,Min Delta = %d\n", chip, best_range, best_gain, best_delta);
  return 0;
}

int calibrate_vref_per_chip(Tuner& tuner, int capture_mode) {
  if (!load_working_tables(tuner, capture_mode) || line_stride(tuner) <= 0) return 0;
  int result = 1;
  int column = 0;
  for (int chip = 0; chip < sensing_chip_count(tuner); ++chip) {
    const int target = tuner.chip_targets[chip];
    const long tolerance = tuner.params.cal_tolerance3 * target / 1000;
    int best_delta = 65535, best_gain = 128, best_range = 7;
    bool found = false, reversed_out = false;
    for (int range = 7; range >= 0 && !found && !reversed_out; --range) {
      tuner.cal_range[chip] = static_cast<uint8_t>(range * 2 + 1);
      GainBisection search{.gain = 128};
      while (search.open()) {
        const int gain = search.gain;
        tuner.cal_vref[chip] = static_cast<uint8_t>(gain);
        tuner.hardware_block[hw::kCalVref + chip] = static_cast<uint8_t>(gain);
        if (!capture_targets(tuner)) return 0;
        long sum = 0;
        for (int f = 1; f <= 5; ++f) sum += raw_at(tuner, f, column);
        const long mean = sum / 5;
        if (mean < kRawFloor) {
          out_printf("\nKQ48IC No.%d Raw Data Error Use Default CalVref\n", chip);
          return 0;
        }
        const long delta = std::labs(mean - target);
        if (delta < best_delta) {
          best_delta = static_cast<int>(delta);
          best_gain = gain;
          best_range = range;
        }
        if (delta < tolerance) {
          found = true;
          break;
        }
        if (!search.step(mean >= target ? 1 : -1)) {
          reversed_out = true;
          break;
        }
      }
    }
    if (!found) {
      tuner.cal_vref[chip] = static_cast<uint8_t>(best_gain);
      tuner.hardware_block[hw::kCalVref + chip] = static_cast<uint8_t>(best_gain);
      out_printf(reversed_out ? "KQ48IC No.%d CalVref not in tolerance\n" : "KQ48IC No.%d CalVref not in tolerance",
                  chip);
      out_printf("Best Range = %d, Best Gain = %d, Min Delta = %d, Target Value = %d\n", best_range, best_gain,
                  best_delta, target);
      result = 0;
      if (reversed_out) return 0;
    }
    column += tuner.config.bytes[cfg::rx_end(chip)] - tuner.config.bytes[cfg::rx_start(chip)] + 1;
  }
  if (result) out_puts("Calibration Pass");
  return result;
}

void apply_signal_preset(Tuner& tuner) {
  uint8_t* stored = tuner.hardware_block + hw::kSensorConfiguration;
  const bool changed = read_le16(stored + cfg::kRefRsIndex) != 3000 || read_le16(stored + cfg::r_ratio(0)) != 3000;
  write_le16(stored + cfg::kRefRsIndex, 3000);
  write_le16(stored + cfg::r_ratio(0), 3000);
  write_le16(tuner.config.bytes + cfg::kRefRsIndex, 3000);
  write_le16(tuner.config.bytes + cfg::r_ratio(0), 3000);
  if (changed) store_hardware_block(tuner);
}

int calibrate_and_store(Tuner& tuner) {
  {
    SharedLogFile log(kMainLog, "w");
    if (log) {
      std::fprintf(log.stream(), "FW Model:,%s\n", protocol_state().cached_model_name);
      std::fprintf(log.stream(), "FW Version:,%s\n\n", protocol_state().cached_firmware_version);
    }
  }
  apply_signal_preset(tuner);
  prepare_calibration(tuner);
  uint8_t* stored = tuner.hardware_block + hw::kSensorConfiguration;
  if (!tuner.params.using_ini_cal_index) tuner.params.cal_index = read_le16(tuner.hardware_block + hw::kCalIndex);
  if (tuner.params.cal_index == 0 || (stored[cfg::kAttr] & 1) == 0) tuner.params.cal_index = 3600;
  tuner.params.cal_tolerance3 = 3;
  if (tuner.params.calibrate_mode == 0) {
    bool any_zero = false;
    for (int c = 0; c < sensing_chip_count(tuner); ++c) {
      tuner.chip_targets[c] = c == 0 ? tuner.params.approach_signal0 : 0;
      if (tuner.chip_targets[c] == 0) any_zero = true;
    }
    if (any_zero) {
      for (int c = 0; c < sensing_chip_count(tuner); ++c) {
        tuner.chip_targets[c] = static_cast<int16_t>(read_le16(stored + cfg::approach_signal(c)));
      }
    }
  }
  const uint8_t first_range_bit = stored[cfg::cal_vref_range(0)] & 1;
  if (!calibrate(tuner, tuner.params.cal_index, 2)) {
    out_puts("Calibrating Fail...");
    return -1;
  }
  for (int c = 0; c < sensing_chip_count(tuner); ++c) {
    tuner.hardware_block[hw::kCalVref + c] = tuner.cal_vref[c];
    stored[cfg::cal_vref_range(c)] = static_cast<uint8_t>(tuner.cal_range[c] | first_range_bit);
  }
  stored[cfg::kAttr] |= 1;
  store_hardware_block(tuner);
  return 0;
}

}  // namespace tmode
