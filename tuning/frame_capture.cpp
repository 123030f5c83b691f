#include "tuning/frame_capture.h"

#include <cstdio>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/chip_registers.h"
#include "maintenance/test_commands.h"
#include "tuning/front_end.h"
#include "tuning/phase_peaks.h"
#include "tuning/tuning_result.h"

namespace tmode {

const uint8_t kCaptureTemplate[16] = {0x33, 0xE5, 0x23, 0xD0, 0x40, 0x00, 0x58, 0x0F,
                                      0x80, 0x0C, 0x00, 0x0C, 0x12, 0x36, 0x02, 0x00};

void target_rs_values(const Tuner& tuner, uint8_t rs_value, uint8_t* per_chip) {
  rs_values_for(tuner, rs_value >> 4, per_chip);
}

void target_lines(const Tuner& tuner, int target, bool stray_line, int* first, int* last) {
  if (stray_line) {
    *first = 0;
    *last = driving_line_count(tuner.config) - 1;
  } else {
    *first = *last = tuner.config.bytes[cfg::cal_target(target)];
  }
}

int program_working_frequency(Tuner& tuner, int f, const uint8_t* base, int measure_time, bool stray_line,
                              uint8_t* t) {
  if (f < 0 || f >= kMaxFrequencies) return 0;
  const WorkingFrequency& w = tuner.working[f];
  std::memcpy(t, base, kTemplateSize);
  uint8_t factor = 0;
  if (command_3f_4f(w.clock_source, &factor) != 1) return 0;
  t[2] = factor;
  if (measure_time >= 0) t[3] = static_cast<uint8_t>(measure_time | 0xC0);
  t[12] = w.prescaler;
  const int range = delay_range(t, w.prescaler);
  if (range == 0) return 0;
  t[13] = static_cast<uint8_t>(range > kMaxDelayRange ? kMaxDelayRange : range);
  t[kPhaseByte] &= 0xFC;
  const int wave = tuner.config.bytes[stray_line ? cfg::kStrayLineWaveSignal : cfg::kImageWaveSignal];
  if (write_chip_registers(kAllChips, 0, kTemplateSize, t) != kTemplateSize ||
      !program_tx_waveform(tuner, wave, t[2], w.prescaler, false) || !write_phase_bits(t, 2)) {
    return 0;
  }
  return 1;
}

int capture_frame(Tuner& tuner, int f, int target, int measure_time, bool stray_line) {
  if (f < 0 || f >= kMaxFrequencies) return 0;
  const WorkingFrequency& w = tuner.working[f];
  uint8_t gain = 0;
  if (command_3f_52(tuner.config.bytes[stray_line ? cfg::kStrayLineTxGain : cfg::kImageTxGain], &gain) != 1) {
    out_puts(" Failed to set correct TX gain");
    return 0;
  }
  uint8_t t[kTemplateSize];
  if (!program_working_frequency(tuner, f, kCaptureTemplate, measure_time, stray_line, t)) return 0;
  const int from = stray_line ? 0 : (target == kAllTargets ? 0 : target);
  const int to = stray_line ? 0 : (target == kAllTargets ? kImageChannels - 1 : target);
  if (from < 0 || to >= kImageChannels) return 0;
  for (int k = from; k <= to; ++k) {
    uint8_t per_chip[kMaxSensingChips] = {};
    target_rs_values(tuner, stray_line ? w.sl_rs : w.rs[k], per_chip);
    const int gain_a = stray_line ? w.sl_gain_a : w.gain_a[k];
    const int delay = stray_line ? w.sl_delay : w.delay[k];
    const int gain_d = stray_line ? w.sl_gain_d : w.gain_d[k];
    if (!set_up_sensing_chips(tuner, gain_a, per_chip, delay, 0, 0, static_cast<uint8_t>(gain_d))) return 0;
    int first = 0, last = 0;
    target_lines(tuner, k, stray_line, &first, &last);
    if (start_chip_scan(first, last) != 0 || read_raw_row(tuner, tuner.raw_table[k], kRawTableColumns) < 0) {
      return 0;
    }
  }
  return 1;
}

}  // namespace tmode
