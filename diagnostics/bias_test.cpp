#include "diagnostics/bias_test.h"

#include <cstdlib>
#include <cstring>

#include "diagnostics/open_short_tests.h"
#include "diagnostics/tuner_mutual_cap.h"
#include "tuning/tuner_trace.h"

namespace tmode {

namespace {

struct NodeStats {
  int max;
  int min;
  int32_t sum;
};

// N frames of the data word into the ratio table; false when a frame could
// not be read.
bool bias_phase(Tuner& tuner, uint16_t word, int tx_total, int rx_total, int16_t (*ratios)[kBiasTableColumns]) {
  static NodeStats stats[kBiasTableLines][kBiasTableColumns];
  const int n = tuner.bias.repeat_count;
  for (int k = 0; k < n; ++k) {
    clear_tuner_frame_flags();
    if (read_tuner_frame(tuner, 0, word) == 0) return false;
    for (int t = 0; t < tx_total; ++t) {
      for (int r = 0; r < rx_total; ++r) {
        NodeStats& s = stats[t][r];
        if (k == 0) s = {0, 32767, 0};
        const int value = tuner.raw_table[t][r];
        if (value > s.max) s.max = value;
        // The minimum compares the reading taken unsigned.
        if (static_cast<uint16_t>(value) < s.min) s.min = value;
        s.sum += value;
      }
    }
  }
  for (int t = 0; t < tx_total; ++t) {
    for (int r = 0; r < rx_total; ++r) {
      const NodeStats& s = stats[t][r];
      const int average = s.sum / n;
      tuner.raw_table[t][r] = static_cast<int16_t>(average);
      ratios[t][r] = bias_ratio(average, s.max, s.min);
    }
  }
  return true;
}

// The value of largest magnitude of an Rx column, with its sign.
int worst_of(const int16_t (*ratios)[kBiasTableColumns], int tx_total, int r) {
  int worst = 0;
  for (int t = 0; t < tx_total; ++t) {
    if (std::abs(ratios[t][r]) > std::abs(worst)) worst = ratios[t][r];
  }
  return worst;
}

}  // namespace

int16_t bias_ratio(int average, int max, int min) {
  if (average == 0) return 0;
  const int to_max = std::abs(average - max), to_min = std::abs(average - min);
  const int64_t spread = to_max > to_min ? to_max : to_min;
  int64_t ratio = spread * 1000 / average;
  if (ratio > 32767) ratio = 32767;
  if (ratio < -32768) ratio = -32768;
  return static_cast<int16_t>(ratio);
}

int hw_bias_test(Tuner& tuner) {
  BiasTestSettings& b = tuner.bias;
  int tx_total = 0, rx_total = 0;
  const bool fits = tuner_totals(tuner, &tx_total, &rx_total);
  std::memset(b.ratio_a, 0, sizeof b.ratio_a);
  std::memset(b.ratio_b, 0, sizeof b.ratio_b);
  trace(tuner, "\nHW Bias Test\n");
  // Without frames there is no average to judge.
  if (!fits || b.repeat_count == 0) return -1;
  if (!bias_phase(tuner, kRawWord, tx_total, rx_total, b.ratio_a) ||
      !bias_phase(tuner, kOpenTestFrameWord, tx_total, rx_total, b.ratio_b)) {
    clear_tuner_frame_flags();
    return -1;
  }
  trace(tuner, "Threshold:,%d%%,\r\n", b.threshold);
  const int64_t limit = 10LL * b.threshold;
  bool pass = true;
  for (int r = 0; r < rx_total; ++r) {
    const int worst_a = worst_of(b.ratio_a, tx_total, r), worst_b = worst_of(b.ratio_b, tx_total, r);
    const bool line_pass = std::abs(worst_a) <= limit && std::abs(worst_b) <= limit;
    if (!line_pass) {
      if (r < kFailedRxMarks) tuner.failed_rx[r] = 1;
      if (tuner.mark_only == 0) pass = false;
    }
    if (tuner.mark_only == 0 && b.line_output != 0) {
      trace(tuner, "Rx[%d],%.1f,%.1f,%s\r\n", r, worst_a / 10.0, worst_b / 10.0, line_pass ? "Pass" : "Fail");
    }
  }
  trace(tuner, pass ? "\nBias Test PASS\n" : "\nBias Test FAIL\n");
  clear_tuner_frame_flags();
  return pass ? 0 : -1;
}

}  // namespace tmode
