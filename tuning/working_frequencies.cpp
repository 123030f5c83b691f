#include "tuning/working_frequencies.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/chip_registers.h"
#include "maintenance/test_commands.h"
#include "tuning/front_end.h"
#include "tuning/gain_a_search.h"
#include "tuning/phase_peaks.h"

namespace tmode {

namespace {

constexpr int kLowestLow = 11;
constexpr int kDefaultCeiling = 65;
constexpr int kWaveSignalStep = 3;

struct Window {
  int low = 1 << 30;
  int high = -1;
};

// Per target with valid entries, the entry pick() prefers; the window spans
// the picks. False when a target with valid entries has no acceptable one.
template <typename Better>
bool window_of_picks(const Tuner& tuner, Better better, Window* w) {
  for (int t = 0; t < kImageChannels; ++t) {
    const AdjustmentResult* pick = nullptr;
    bool any = false;
    for (int rs = 0; rs < kAdjustRsValues; ++rs) {
      for (int g = 0; g < kAdjustGainAValues; ++g) {
        const AdjustmentResult& e = tuner.adjustment_results[t][rs][g];
        if (!e.valid) continue;
        any = true;
        if (better(e, pick)) pick = &e;
      }
    }
    if (!any) continue;
    if (pick == nullptr) return false;
    if (pick->low < w->low) w->low = pick->low;
    if (pick->high > w->high) w->high = pick->high;
  }
  return true;
}

const char* target_label(const Tuner& tuner) { return tuner.short_layout ? "CalTarget" : "PhaseTarget"; }

}  // namespace

int adjust_signal_window(Tuner& tuner, int* signal_high, int* signal_low) {
  const int reference = *signal_low;
  Window nearest;
  window_of_picks(
      tuner,
      [&](const AdjustmentResult& e, const AdjustmentResult* pick) {
        return pick == nullptr || std::abs(e.low - reference) < std::abs(pick->low - reference);
      },
      &nearest);
  const int ceiling = tuner.params.ad_level_percent != 0 ? 128 * tuner.params.ad_level_percent / 100 : kDefaultCeiling;
  if (nearest.high >= 0 && nearest.high < ceiling && nearest.low >= kLowestLow) {
    *signal_low = nearest.low;
    *signal_high = nearest.high;
    return 1;
  }
  Window below;
  const bool each = window_of_picks(
      tuner,
      [](const AdjustmentResult& e, const AdjustmentResult* pick) {
        const int room = kDefaultCeiling - e.high;
        return room > 0 && (pick == nullptr || room < kDefaultCeiling - pick->high);
      },
      &below);
  if (!each || below.high < 0) {
    const int lowest = below.high >= 0 ? below.low : nearest.low;
    uint8_t& wave = tuner.config.bytes[cfg::kImageWaveSignal];
    if (lowest < kLowestLow || wave < kWaveSignalStep) return 0;
    wave = static_cast<uint8_t>(wave - kWaveSignalStep);
    return 1;
  }
  *signal_low = below.low;
  *signal_high = below.high;
  return 1;
}

int select_working_frequencies(Tuner& tuner, int signal_high, int signal_low) {
  uint8_t* t = tuner.frequency_template;
  std::memcpy(t, kFrequencyTemplate, kTemplateSize);
  uint8_t reg136[8];
  std::memcpy(reg136, kRegister136Template, sizeof reg136);
  reg136[7] = tuner.config.bytes[cfg::kTxOffset];
  reg136[2] = static_cast<uint8_t>((reg136[2] & 0x0F) | (tuner.gain_d_codes[tuner.working[0].gain_d[0] & 7] << 4));
  write_phase_bits(t, 0);
  write_chip_registers(kAllChips, 136, 8, reg136);
  tuner.registered_frequencies = 0;

  uint8_t tx_gain = 0;
  if (command_3f_52(tuner.config.bytes[cfg::kImageTxGain], &tx_gain) != 1) {
    out_puts(" Failed to set correct TX gain");
    return 0;
  }

  int size = 0;
  const FrequencyEntry* table = active_frequency_table(tuner, &size);
  const int wanted = tuner.params.nums_of_freq < kMaxFrequencies ? tuner.params.nums_of_freq : kMaxFrequencies;
  int retries = 0;
  for (int index = tuner.params.start_of_freq; index < size && tuner.registered_frequencies < wanted; ++index) {
    const FrequencyEntry entry = table[index];
    uint8_t factor = 0;
    if (command_3f_4f(entry.divider, &factor) != 1) continue;
    t[2] = factor;
    t[12] = entry.prescaler;
    const int range = delay_range(t, entry.prescaler);
    t[13] = static_cast<uint8_t>(range > kMaxDelayRange ? kMaxDelayRange : range);
    t[kPhaseByte] &= 0xFC;
    if (range == 0 || write_chip_registers(kAllChips, 0, kTemplateSize, t) != kTemplateSize ||
        !program_tx_waveform(tuner, tuner.config.bytes[cfg::kImageWaveSignal], t[2], entry.prescaler, false)) {
      continue;
    }
    write_phase_bits(t, 2);
    out_printf("Freq=%3.3fKHz, FreqIndex=%d, Prescaler=%d - Target Validating\n",
                frequency_khz(tuner, entry.divider, entry.prescaler), index, entry.prescaler & 127);

    int failed = -1;
    WorkingFrequency& f = tuner.working[tuner.registered_frequencies];
    for (int target = 0; target < kImageChannels && failed < 0; ++target) {
      const int line = tuner.config.bytes[cfg::cal_target(target)];
      out_printf("\n%s=%02d / TX=%02d - Target Validating\n", target_label(tuner), target, line);
      bool marked = false;
      const int start_rs = tuner.params.start_rs < kAdjustRsValues ? tuner.params.start_rs : kAdjustRsValues - 1;
      for (int rs = start_rs; rs >= 0 && !marked; --rs) {
        uint8_t per_chip[kMaxSensingChips] = {};
        rs_values_for(tuner, rs, per_chip);
        f.rs[target] = per_chip[0];
        int a = 0, b = 0;
        if (search_gain_a(tuner, target, rs, per_chip, signal_high, signal_low, &a, &b, false)) {
          marked = true;
        } else if (a < signal_low && b < signal_low) {
          break;
        }
      }
      if (!marked) failed = target;
    }

    if (failed >= 0) {
      const int line = tuner.config.bytes[cfg::cal_target(failed)];
      out_printf(" Fail to find a suitable configuration for %s=%02d / TX=%02d\n", target_label(tuner), failed, line);
      if (tuner.params.working_freq_count != 0 && tuner.adjust_window && retries < kMaxWindowRetries) {
        if (!adjust_signal_window(tuner, &signal_high, &signal_low)) return 0;
        out_printf("Adjust ref Low = %d, ref High = %d, WaveSignal = %d\n", signal_low, signal_high,
                    tuner.config.bytes[cfg::kImageWaveSignal]);
        ++retries;
        --index;  // the same index again
      } else {
        out_printf(" Cal TX CH %02d fail\n", line);
        retries = 0;
      }
      continue;
    }

    retries = 0;
    f.clock_source = entry.divider;
    f.prescaler = entry.prescaler;
    ++tuner.registered_frequencies;
    if (tuner.short_layout) {
      out_printf(" Register a new working freq.=%03.3fKHz\n", frequency_khz(tuner, entry.divider, entry.prescaler));
    } else {
      out_printf(" Register a new working freq.=%03.3fKHz, Clock-source=%02d, Pre-scaler=%d\n",
                  frequency_khz(tuner, entry.divider, entry.prescaler), entry.divider, entry.prescaler);
    }
    if (tuner.registered_frequencies >= wanted) break;
    if (tuner.params.auto_cal_target != 0 && tuner.auto_target_done == 0) {
      tuner.frequency_count = tuner.registered_frequencies;  // the targets are chosen on this one
      return tuner.registered_frequencies;
    }
    tuner.adjust_window = false;
  }
  tuner.frequency_count = tuner.registered_frequencies;
  out_printf(" Total available working frequencies = %d\n", tuner.registered_frequencies);
  return tuner.registered_frequencies;
}

}  // namespace tmode
