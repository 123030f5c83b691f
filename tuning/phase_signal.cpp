#include "tuning/phase_signal.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/byte_order.h"
#include "maintenance/chip_registers.h"
#include "maintenance/test_commands.h"
#include "tuning/frame_capture.h"
#include "tuning/front_end.h"
#include "tuning/phase_peaks.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

constexpr int kMaxScalingShift = 30;  // a shift stops before 31
constexpr uint8_t kDifferenceRow = 194;

struct DelayStats {
  int low;
  int high;
};

// The mean of a target's raw row over the evaluated RX lines that are not
// ignored; false when there is none.
bool row_mean(const Tuner& tuner, int row, long* mean) {
  int first = 0, end = 0;
  if (!evaluated_rx_range(tuner, &first, &end)) return false;
  long sum = 0;
  int count = 0;
  for (int r = first; r < end; ++r) {
    if (rx_ignored(tuner, r)) continue;
    sum += tuner.raw_table[row][r];
    ++count;
  }
  if (count == 0) return false;
  *mean = sum / count;
  return true;
}

int group_count(bool stray_line) { return stray_line ? 1 : kImageChannels; }

}  // namespace

int gain_d_multiplier(int gain_d) {
  static const int kMultipliers[8] = {1, 4, 8, 16, 1, 4, 8, 16};
  return kMultipliers[gain_d & 7];
}

int adjust_delay_counts(Tuner& tuner, bool stray_line) {
  for (int f = 0; f < tuner.frequency_count && f < kMaxFrequencies; ++f) {
    WorkingFrequency& w = tuner.working[f];
    uint8_t t[kTemplateSize];
    if (!program_working_frequency(tuner, f, kFrequencyTemplate, -1, stray_line, t)) return 0;
    int delays = t[13];
    int first = 0, end = 0;
    if (!evaluated_rx_range(tuner, &first, &end)) return 0;
    for (int g = 0; g < group_count(stray_line); ++g) {
      uint8_t per_chip[kMaxSensingChips] = {};
      target_rs_values(tuner, stray_line ? w.sl_rs : w.rs[g], per_chip);
      const int gain_a = stray_line ? w.sl_gain_a : w.gain_a[g];
      const int gain_d = stray_line ? w.sl_gain_d : w.gain_d[g];
      if (!set_up_sensing_chips(tuner, gain_a, per_chip, 0, 0, 0, static_cast<uint8_t>(gain_d))) return 0;
      int line = 0, last = 0;
      target_lines(tuner, g, stray_line, &line, &last);
      DelayStats stats[kMaxDelayRange] = {};
      const int done = for_each_delay(tuner, line, gain_a, delays, [&](int d, const int16_t* row, int) {
        int low = 32767, high = -32768;
        for (int r = first; r < end; ++r) {
          if (rx_ignored(tuner, r)) continue;
          if (row[r] < low) low = row[r];
          if (row[r] > high) high = row[r];
        }
        stats[d] = {low, high};
      });
      if (!done) return 0;
      int best = 0;
      for (int d = 1; d < delays; ++d) {
        if (stats[d].low > stats[best].low) best = d;
      }
      int value = stats[best].low;
      if (tuner.params.delay_select_mode == 1) {
        out_printf("Target=%d, Delay=%03d\n", g, best);
        const int margin = value * 10 / 100;
        // With a margin of 0 no delay lies strictly inside: the best stays.
        int chosen = -1;
        for (int d = best; d < delays; ++d) {
          if (stats[d].low <= value - margin || stats[d].low >= value + margin) continue;
          const int spread = stats[d].high - stats[d].low;
          if (chosen < 0 || spread < stats[chosen].high - stats[chosen].low) chosen = d;
        }
        if (chosen >= 0) best = chosen;
        value = stats[best].low;
      }
      if (stray_line) {
        w.sl_delay = static_cast<uint8_t>(best);
      } else {
        w.delay[g] = static_cast<uint8_t>(best);
      }
      if (tuner.short_layout) {
        if (stray_line) {
          out_printf("Adjust Delay Counts : Freq=%d, Group=%d\n", f, g);
        } else {
          out_printf("Adjust Delay Counts : Freq=%d, Target=%d / TX=%02d\n", f, g, line);
        }
      } else if (stray_line) {
        out_printf("Freq=%d, Group=%d, Delay=%03d, Value=%d\n", f, g, best, value);
      } else {
        out_printf("Freq=%d, Target=%d / TX=%02d, Delay=%03d, Value=%d\n", f, g, line, best, value);
      }
    }
  }
  return 1;
}

int adjust_scaling_and_gain_b(Tuner& tuner, bool stray_line, bool restart) {
  const TuningParameters& p = tuner.params;
  const int touch = stray_line ? p.sl_touch_signal : p.image_touch_signal;
  bool too_high = false;
  for (int f = 0; f < tuner.frequency_count && f < kMaxFrequencies; ++f) {
    WorkingFrequency& w = tuner.working[f];
    int scaling = stray_line ? w.sl_scaling : w.image_scaling;
    if (f > 0) scaling = stray_line ? tuner.working[0].sl_scaling : tuner.working[0].image_scaling;
    if (restart) scaling = stray_line ? 0 : p.scaling_start;
    int target_output = 0;
    for (int g = 0; g < group_count(stray_line); ++g) {
      const int gain_d = stray_line ? w.sl_gain_d : w.gain_d[g];
      long mean = 0;
      int a = 0;
      auto measure = [&](int gain_b, int* value) {
        if (!capture_frame(tuner, f, g, gain_b, stray_line) || !row_mean(tuner, stray_line ? 0 : g, &mean)) {
          return false;
        }
        a = static_cast<int>(touch * mean / 100);
        *value = gain_d_multiplier(gain_d) * (a >> scaling);
        return true;
      };
      int low = p.minimum_measure_time, high = p.maximum_measure_time, gain_b = low, value = 0;
      if (!measure(gain_b, &value)) return 0;
      if (g == 0 && restart) {
        while (value > p.output_high && scaling < kMaxScalingShift) {
          ++scaling;
          value = gain_d_multiplier(gain_d) * (a >> scaling);
        }
      }
      int remembered = gain_b, remembered_value = value;
      auto closer = [&](int v) { return std::abs(v - target_output) < std::abs(remembered_value - target_output); };
      while ((value < p.output_low || value > p.output_high) && high > low + 1) {
        if (value < p.output_low) {
          low = gain_b;
          gain_b = (gain_b + high + 1) / 2;
        } else {
          high = gain_b;
          gain_b = (gain_b + low) / 2;
        }
        if (!measure(gain_b, &value)) return 0;
        if (g > 0 && closer(value)) {
          remembered = gain_b;
          remembered_value = value;
        }
      }
      if (g == 0) {
        target_output = value;
      } else {
        out_printf("Target = %d, Target Output = %d, Now = %d, last = %d\n", g, target_output, value,
                    remembered_value);
        if (closer(value) || value == remembered_value) {
          remembered = gain_b;
          remembered_value = value;
        }
        gain_b = remembered;
        value = remembered_value;
      }
      if (tuner.short_layout) {
        out_printf("Adjudt Scaling & GainB : Freq=%d, Target=%d\n", f, g);
      } else {
        out_printf("Target=%d , AvgStray=%d\n", g, a);
        out_printf("Freq=%d, Target=%d, Scaling=%d, GainB=%d, Value=%03d\n", f, g, scaling + 4, gain_b, value);
      }
      if (stray_line) {
        w.sl_gain_b = static_cast<uint8_t>(gain_b);
      } else {
        w.gain_b[g] = static_cast<uint8_t>(gain_b);
      }
      if (gain_b >= p.maximum_measure_time - 1) too_high = true;
    }
    if (stray_line) {
      w.sl_scaling = static_cast<uint8_t>(scaling);
    } else {
      w.image_scaling = static_cast<uint8_t>(scaling);
    }
  }
  if (too_high) {
    out_printf("\nSensing cycle too high, please modify NoiseMargin and fine tune again");
    return 0;
  }
  return 1;
}

int adjust_gain_d(Tuner& tuner, bool stray_line) {
  TuningParameters& p = tuner.params;
  constexpr int kGainD = 2;
  for (int f = 0; f < tuner.frequency_count && f < kMaxFrequencies; ++f) {
    WorkingFrequency& w = tuner.working[f];
    uint8_t t[kTemplateSize];
    if (!program_working_frequency(tuner, f, kFrequencyTemplate, -1, stray_line, t)) return 0;
    int first = 0, end = 0;
    if (!evaluated_rx_range(tuner, &first, &end)) return 0;
    for (int g = 0; g < group_count(stray_line); ++g) {
      uint8_t per_chip[kMaxSensingChips] = {};
      const uint8_t rs = stray_line ? w.sl_rs : w.rs[g];
      target_rs_values(tuner, rs, per_chip);
      const int gain_a = stray_line ? w.sl_gain_a : w.gain_a[g];
      const int delay = stray_line ? w.sl_delay : w.delay[g];
      if (!set_up_sensing_chips(tuner, gain_a, per_chip, delay, 0, 0, kGainD) || !write_phase_bits(t, 2)) return 0;
      int line = 0, last = 0;
      target_lines(tuner, g, stray_line, &line, &last);
      int16_t single[kRawTableColumns + 1] = {}, diff[kRawTableColumns + 1] = {};
      out_puts("Get single Peak");
      if (start_chip_scan(line, last) != 0 || read_raw_row(tuner, single, kRawTableColumns) < 0) return 0;
      out_puts("Get diff Peak");
      const uint8_t difference = kDifferenceRow;
      if (write_chip_registers(kAllChips, kPhaseByte, 1, &difference) != 1 || start_chip_scan(line, last) != 0 ||
          read_raw_row(tuner, diff, kRawTableColumns) < 0) {
        return 0;
      }
      write_phase_bits(t, 2);
      const int m = gain_d_multiplier(kGainD);
      long peak = 0;
      int max_channel = 0;
      for (int c = first; c < end; ++c) {
        if (rx_ignored(tuner, c) || (c > 0 && rx_ignored(tuner, c - 1))) continue;
        const long v = static_cast<long>(std::max(m * single[c], m * single[c + 1])) * p.image_touch_signal / 100;
        if (v + diff[c] > peak) {
          peak = v;
          max_channel = c;
        }
      }
      if (stray_line) {
        out_printf("FreqNo=%d, Tx Group=%d, SRS=%02X, GainA=%02X, GainD=%02X, PeakC=%ld, Max Channel=%d\n", f, g,
                    rs, gain_a, kGainD, peak, max_channel);
      } else {
        out_printf("FreqNo=%d, TX=%d, SRS=%02X, GainA=%02X, GainD=%02X, PeakC=%ld, Max Channel=%d\n", f, line, rs,
                    gain_a, kGainD, peak, max_channel);
      }
      if (peak > p.max_signal_high) {
        if (stray_line) {
          p.sl_signal_high = static_cast<uint8_t>(p.sl_signal_high > 5 ? p.sl_signal_high - 5 : 0);
          p.sl_signal_low = static_cast<uint8_t>(p.sl_signal_low > 5 ? p.sl_signal_low - 5 : 0);
        } else {
          p.image_signal_high = static_cast<int16_t>(p.image_signal_high - 5);
          p.image_signal_low = static_cast<int16_t>(p.image_signal_low - 5);
        }
        return 0;
      }
      if (stray_line) {
        w.sl_gain_d = kGainD;
      } else {
        w.gain_d[g] = kGainD;
      }
      out_printf("GainD=0x%02X\n", kGainD);
    }
  }
  return 1;
}

void finalise_frequencies(Tuner& tuner) {
  for (int f = 0; f < tuner.frequency_count && f < kMaxFrequencies; ++f) {
    const WorkingFrequency& w = tuner.working[f];
    int strongest = 0, largest = 0;
    for (int g = 0; g < kImageChannels; ++g) {
      if (!capture_frame(tuner, f, g, w.gain_b[g], false)) continue;
      for (int r = 0; r < kRawTableColumns; ++r) {
        if (tuner.raw_table[g][r] > largest) {
          largest = tuner.raw_table[g][r];
          strongest = g;
        }
      }
    }
    if (largest == 0 || strongest == 0) continue;
    uint8_t* fb = tuner.hardware_block + hw::frequency_block(f);
    uint8_t* noise = fb + freq::kNoiseGroup;
    fb[freq::kNoiseScaling] = 15;
    noise[freq::kDelay] = 0;
    noise[freq::kGainB] = 10;
    noise[freq::kGainA] = 15;
    noise[freq::kRs] = 15;
    noise[freq::kGainC] = 0;
    noise[freq::kGainD] = w.gain_d[strongest];
    std::memcpy(tuner.frequency_blocks[f].bytes, fb, kFrequencyBlockSize);
  }
}

int measure_approach_signals(Tuner& tuner) {
  if (!load_working_tables(tuner, 0)) return 0;
  const int chips = sensing_chip_count(tuner);
  const int stride = receive_line_count(tuner);
  if (stride <= 0 || tuner.frequency_count == 0) return 0;
  const uint8_t* c = tuner.config.bytes;
  int column = 0;
  int means[kMaxSensingChips] = {};
  for (int chip = 0; chip < chips; ++chip) {
    const int span = c[cfg::rx_end(chip)] - c[cfg::rx_start(chip)];
    column = chip == 0 ? span : column + (chip == 1 ? 1 : c[cfg::rx_end(chip - 1)] - c[cfg::rx_start(chip - 1)] + 1);
    long sum = 0;
    for (int f = 1; f <= 5; ++f) {
      if (!capture_frame(tuner, 0, f, tuner.working[0].gain_b[f], false)) return 0;
      if (column < 0 || column >= kRawTableColumns) return 0;
      sum += tuner.raw_table[f][column];
    }
    means[chip] = static_cast<int>(sum / 5);
    if (means[chip] <= 29) {
      out_printf("\nError: RAW data is too low.");
      return 0;
    }
  }
  tuner.approach_tolerance = 3;
  for (int chip = 0; chip < chips; ++chip) {
    out_printf("IC%d ApproachSignal = %d\n", chip, means[chip]);
    write_le16(tuner.hardware_block + hw::kSensorConfiguration + cfg::approach_signal(chip),
               static_cast<uint16_t>(means[chip]));
    write_le16(tuner.config.bytes + cfg::approach_signal(chip), static_cast<uint16_t>(means[chip]));
  }
  tuner.hardware_block[hw::kSensorConfiguration + cfg::kApproachTolerance] = 3;
  tuner.config.bytes[cfg::kApproachTolerance] = 3;
  reseal_hardware_block(tuner);
  return 1;
}

}  // namespace tmode
