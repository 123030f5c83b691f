#include "tuning/phase_peaks.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "link/report_handlers.h"
#include "maintenance/chip_registers.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "tuning/front_end.h"

namespace tmode {

namespace {

constexpr int kMaxRxLines = 170;
constexpr int kRowRegister = 16;
constexpr uint16_t kStopStream = 0x8000;
constexpr auto kPhaseDataWait = std::chrono::seconds(2);

// The frame of a phase-data scan: written by the reader thread's handler
// while it is registered, read by the caller after the handler is removed.
struct PhaseData {
  int16_t rows[kMaxDelayRange][kMaxRxLines];
  int lines;    // set before the handler is registered
  int columns;  // likewise
  std::atomic<bool> done;
  // The handler sets done under the mutex and wakes the caller waiting on
  // completed; neither guards anything else.
  std::mutex mutex;
  std::condition_variable completed;
};
PhaseData phase_data;

// All delays of one scan of the target's TX line through the phase-data stream.
int read_phase_data(int tx_line, int delays, int columns) {
  if (!begin_phase_data(delays, columns)) return 0;
  if (register_report_handler('J', 0xFFFF, phase_data_handler) != 0) return 0;
  int ok = start_chip_scan(tx_line, tx_line) == 0 && select_parameter_area(0, 0, kPhaseDataWord) == 0;
  if (ok) {
    std::unique_lock lock(phase_data.mutex);
    ok = phase_data.completed.wait_for(lock, kPhaseDataWait, [] { return phase_data.done.load(); });
  }
  select_parameter_area(0, 0, kStopStream);
  unregister_report_handler('J', 0xFFFF);
  return ok ? 1 : 0;
}

}  // namespace

bool begin_phase_data(int delays, int columns) {
  if (delays < 1 || delays > kMaxDelayRange || columns < 1 || columns > kMaxRxLines) return false;
  phase_data.lines = delays;
  phase_data.columns = columns;
  phase_data.done.store(false);
  return true;
}

bool phase_data_complete() { return phase_data.done.load(); }

void phase_data_handler(int, int size, const uint8_t* report) {
  if (size < 5 || phase_data.done.load()) return;
  const int length = report[1];
  if (length < 3 || length + 2 > size) return;
  const int line = report[3], first = report[4], count = (length - 3) / 2;
  // Lines and channels from the wire are checked against the table.
  if (line >= phase_data.lines || first + count > phase_data.columns) return;
  for (int k = 0; k < count; ++k) {
    phase_data.rows[line][first + k] = static_cast<int16_t>(report[5 + 2 * k] | report[6 + 2 * k] << 8);
  }
  if (line == phase_data.lines - 1 && first + count == phase_data.columns) {
    {
      std::lock_guard lock(phase_data.mutex);
      phase_data.done.store(true);
    }
    phase_data.completed.notify_one();
  }
}

int receive_line_count(const Tuner& tuner) {
  int total = 0;
  for (int c = 0; c < sensing_chip_count(tuner); ++c) {
    const int start = tuner.config.bytes[cfg::rx_start(c)], end = tuner.config.bytes[cfg::rx_end(c)];
    if (end < start) return -1;
    total += end - start + 1;
  }
  return total <= kMaxRxLines ? total : -1;
}

int read_raw_row(const Tuner& tuner, int16_t* row, int capacity) {
  int at = 0;
  for (int c = 0; c < sensing_chip_count(tuner); ++c) {
    const int n = tuner.config.bytes[cfg::rx_end(c)] - tuner.config.bytes[cfg::rx_start(c)] + 1;
    uint8_t bytes[2 * 87] = {};
    if (n <= 0 || 2 * n > static_cast<int>(sizeof bytes) || at + n > capacity) return -1;
    if (read_chip_registers(c, kRowRegister, 2 * n, bytes) != 2 * n) return -1;
    for (int k = 0; k < n; ++k) row[at++] = static_cast<int16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
  }
  return at;
}

bool rx_ignored(const Tuner& tuner, int rx) {
  for (int i = 0; i < tuner.ignored_rx_count && i < 16; ++i) {
    if (tuner.ignored_rx[i] == rx) return true;
  }
  return false;
}

bool evaluated_rx_range(const Tuner& tuner, int* first, int* end) {
  const int columns = receive_line_count(tuner);
  *first = tuner.params.ignore_nums_of_rx;
  *end = columns - tuner.params.ignore_nums_of_rx;
  return columns > 0 && *first < *end;
}

int for_each_delay(Tuner& tuner, int tx_line, int gain_a, int delays,
                   FunctionRef<void(int delay, const int16_t* row, int columns)> take) {
  const int columns = receive_line_count(tuner);
  if (columns <= 0 || delays <= 0 || delays > kMaxDelayRange) return 0;
  if (tuner.controller_level != 0) {
    if (!read_phase_data(tx_line, delays, columns)) return 0;
    for (int d = 0; d < delays; ++d) take(d, phase_data.rows[d], columns);
    return 1;
  }
  for (int d = 0; d < delays; ++d) {
    int16_t row[kMaxRxLines] = {};
    const uint8_t delay_byte = static_cast<uint8_t>(gain_a > 15 ? (d | 0x80) : d);
    if (write_chip_registers(kAllChips, 11, 1, &delay_byte) != 1 || start_chip_scan(tx_line, tx_line) != 0 ||
        read_raw_row(tuner, row, kMaxRxLines) != columns) {
      return 0;
    }
    take(d, row, columns);
  }
  return 1;
}

int measure_phase_peaks(Tuner& tuner, int target, int rs, int gain_a, const uint8_t* rs_per_chip,
                        int* peak_a, int* peak_b) {
  int delays = delay_range(tuner.frequency_template, tuner.frequency_template[12]);
  if (delays > kMaxDelayRange) delays = kMaxDelayRange;
  int first = 0, end = 0;
  if (delays == 0 || !evaluated_rx_range(tuner, &first, &end)) return 0;
  const int tx_line = tuner.config.bytes[cfg::cal_target(target)];
  if (!set_up_sensing_chips(tuner, gain_a, rs_per_chip, 0, 0, 0, 0)) return 0;
  int best_max = -1, best_min = 0;
  bool counted = true;
  const int done = for_each_delay(tuner, tx_line, gain_a, delays, [&](int, const int16_t* row, int) {
    int low = 1 << 30, high = -1;
    for (int r = first; r < end; ++r) {
      if (rx_ignored(tuner, r)) continue;
      const int v = std::abs(row[r] * 16 / 128 / 2);
      if (v < low) low = v;
      if (v > high) high = v;
    }
    if (high < 0) counted = false;
    if (high > best_max) {
      best_max = high;
      best_min = low;
    }
  });
  if (!done || !counted) return 0;
  *peak_a = best_min;
  *peak_b = best_max;
  if (tuner.adjust_window && target >= 0 && target < kImageChannels && rs >= 0 && rs < kAdjustRsValues &&
      gain_a >= 0 && gain_a < kAdjustGainAValues) {
    tuner.adjustment_results[target][rs][gain_a] = {static_cast<int16_t>(best_min),
                                                    static_cast<int16_t>(best_max), 1};
  }
  return 1;
}

}  // namespace tmode
