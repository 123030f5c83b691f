#include "diagnostics/scaling_measure.h"

#include <cstdio>

#include "diagnostics/open_short_tests.h"
#include "diagnostics/tuner_mutual_cap.h"
#include "link/output_sink.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

constexpr int kQuotientLimit = 0x7FFF;
constexpr uint16_t kMultiplyMode = 0x8000;

int min_over_panel(const Tuner& tuner, int tx_total, int rx_total) {
  int m = 32767;
  for (int t = 0; t < tx_total; ++t) {
    for (int r = 0; r < rx_total; ++r) {
      if (tuner.raw_table[t][r] < m) m = tuner.raw_table[t][r];
    }
  }
  return m;
}

// The first and last Rx of every Tx line, the first and last Tx line of
// every Rx.
int min_over_edge(const Tuner& tuner, int tx_total, int rx_total) {
  int m = 32767;
  auto take = [&](int t, int r) {
    if (tuner.raw_table[t][r] < m) m = tuner.raw_table[t][r];
  };
  for (int t = 0; t < tx_total; ++t) {
    take(t, 0);
    take(t, rx_total - 1);
  }
  for (int r = 0; r < rx_total; ++r) {
    take(0, r);
    take(tx_total - 1, r);
  }
  return m;
}

}  // namespace

uint16_t scaling_word(int minimum, int base) {
  if (minimum <= 0 || base <= 0) return 0;
  const bool multiply = base >= minimum;
  long quotient = multiply ? 10L * base / minimum : 10L * minimum / base;
  if (quotient > kQuotientLimit) quotient = kQuotientLimit;
  return static_cast<uint16_t>(quotient | (multiply ? kMultiplyMode : 0));
}

int measure_scaling(Tuner& tuner, int) {
  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return 0;
  const int base = tuner.params.open_base_value;
  clear_tuner_frame_flags();
  if (read_tuner_frame(tuner, 0, kRawWord) == 0) return 0;
  const uint16_t mutual = scaling_word(min_over_panel(tuner, tx_total, rx_total), base);
  if (mutual == 0) return 0;
  tuner.mutual_scaling = mutual;

  clear_tuner_frame_flags();
  const int open_read = read_tuner_frame(tuner, 0, kOpenTestFrameWord);
  clear_tuner_frame_flags();
  if (open_read == 0) return 0;
  const uint16_t open = scaling_word(min_over_edge(tuner, tx_total, rx_total), base);
  if (open == 0) return 0;
  tuner.open_scaling = open;
  out_printf("Open Scaling = %d\n", tuner.open_scaling);
  out_printf("Mutual Scaling = %d\n", tuner.mutual_scaling);
  return 1;
}

int measure_scaling_and_checksum(Tuner& tuner) {
  const int result = measure_scaling(tuner, 0);
  reseal_hardware_block(tuner);
  return result;
}

}  // namespace tmode
