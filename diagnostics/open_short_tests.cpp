#include "diagnostics/open_short_tests.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/log_stream.h"
#include "link/output_sink.h"
#include "link/report_handlers.h"
#include "maintenance/byte_order.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "protocol/protocol_state.h"
#include "tuning/phase_peaks.h"
#include "tuning/tuner_trace.h"
#include "tuning/tuning_result.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

constexpr int kFramePolls = 50;         // of 100 ms
constexpr int kShortEndPolls = 10;      // of 1 s: the sensor-test driver's bound

}  // namespace

void tuner_frame_handler(int, int size, const uint8_t* report) {
  TunerFrameCapture& f = diagnostics_state().tuner_frame;
  if (size < 5 || report[2] != 'J') return;
  // A complete frame stays as it came: the stream runs on until it is
  // stopped, and its next frame would overwrite this one in part.
  if (f.ready[0].load() && f.ready[1].load()) return;
  const int length = report[1];
  if (length < 4 || length + 2 > size) return;
  const int line = report[3], first = report[4], count = (length - 3) / 2;
  const int extra = diagnostics_state().frame.extra_lines;
  const int skip = f.raw_mode ? 0 : (extra <= 4 ? 2 : 3);
  const int row = line - skip;
  // Lines and channels from the wire are checked against the table.
  if (row < 0 || row >= kTableLines || first + count > f.rx_total || first + count > kTableColumns) return;
  for (int k = 0; k < count; ++k) {
    f.staging[row][first + k] = static_cast<int16_t>(report[5 + 2 * k] | report[6 + 2 * k] << 8);
  }
  const int last_line = f.raw_mode ? f.tx_total + extra - 1 : f.tx_total + skip - 1;
  if (line == last_line && first + count == f.rx_total) {
    f.ready[0].store(true);
    f.ready[1].store(true);
  }
}

bool tuner_totals(const Tuner& tuner, int* tx_total, int* rx_total) {
  *tx_total = driving_line_count(tuner.config);
  *rx_total = receive_line_count(tuner);
  return *tx_total > 0 && *rx_total > 0 && frame_fits_tables(*rx_total, *tx_total, diagnostics_state().frame.extra_lines);
}

void clear_tuner_frame_flags() {
  diagnostics_state().tuner_frame.ready[0].store(false);
  diagnostics_state().tuner_frame.ready[1].store(false);
}

int16_t apply_open_scaling(uint16_t word, int raw) {
  const int s = word & 0x7FFF;
  if (s == 0) return static_cast<int16_t>(raw);
  return static_cast<int16_t>((word & 0x8000) ? s * raw / 10 : raw * 10 / s);
}

int collect_tuner_frame(Tuner& tuner, uint16_t word, int polls) {
  TunerFrameCapture& f = diagnostics_state().tuner_frame;
  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return -1;
  f.tx_total = tx_total;
  f.rx_total = rx_total;
  if (register_report_handler('J', 0xFFFF, tuner_frame_handler) != 0) return -1;
  if (select_parameter_area(0, 0, word) != 0) {
    unregister_report_handler('J', 0xFFFF);
    return -1;
  }
  bool ready = false;
  for (int i = 0; i < polls && !ready; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ready = f.ready[0].load() && f.ready[1].load();
  }
  select_parameter_area(0, 0, kStopDataWord);
  // The handler is gone before its table is copied.
  unregister_report_handler('J', 0xFFFF);
  static_assert(sizeof tuner.raw_table == sizeof f.staging);
  std::memcpy(tuner.raw_table, f.staging, sizeof tuner.raw_table);
  return ready ? 1 : 0;
}

int read_tuner_frame(Tuner& tuner, int, uint16_t word) {
  TunerFrameCapture& f = diagnostics_state().tuner_frame;
  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return 0;
  if (f.ready[0].load() && f.ready[1].load()) return 1;
  clear_tuner_frame_flags();
  return collect_tuner_frame(tuner, word, kFramePolls) == 1 ? 1 : 0;
}

int check_edge_difference(const int16_t (*t)[172], int th, int i, int n, int d, int e) {
  const int rx_total = protocol_state().ranges.rx_total, tx_total = protocol_state().ranges.tx_total;
  auto at = [&](int tx, int rx) -> int { return t[tx][rx]; };
  bool rx_channel;
  if (n == rx_total) {
    rx_channel = true;
  } else if (n == tx_total) {
    rx_channel = false;
  } else {
    return 0;
  }
  if (i < 0 || i >= n || rx_total <= 0 || tx_total <= 0) return 0;
  auto A = [&](int k) { return rx_channel ? at(0, k) : at(k, 0); };
  auto B = [&](int k) { return rx_channel ? at(tx_total - 1, k) : at(k, rx_total - 1); };
  const int next_limit = d + (i == n - 2 ? e : 0);
  const int previous_limit = d + (i == 1 ? e : 0);
  auto fails = [&](auto value, int neighbour, int limit) {
    return value(i) < th && value(neighbour) < th && value(neighbour) - value(i) > limit;
  };
  if (i < n - 1 && (fails(A, i + 1, next_limit) || fails(B, i + 1, next_limit))) return 1;
  if (i >= 1 && (fails(A, i - 1, previous_limit) || fails(B, i - 1, previous_limit))) return 1;
  return 0;
}

int tuner_open_test(Tuner& tuner, int tx_threshold, int rx_threshold, int option_threshold, int diff_tx,
                    int diff_rx, int edge_tx, int edge_rx) {
  trace(tuner, "\nStart Open Test");
  trace(tuner, "\nOpen Test Alg = 1");
  trace(tuner, "\nOpen Test threshold:,Tx,%d,,Rx,%d", tx_threshold, rx_threshold);
  trace(tuner, "\nOpenTestDiffOptionTH:,%d", option_threshold);
  trace(tuner, "\nDiffThreshold:,Tx,%d,,Rx,%d,,EdgeTolerance:,Tx,%d,,Rx,%d\r\n", diff_tx, diff_rx, edge_tx, edge_rx);
  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return 0;
  protocol_state().ranges.tx_total = tx_total;
  protocol_state().ranges.rx_total = rx_total;

  uint16_t scaling = tuner.open_scaling;
  if ((scaling & 0x7FFF) == 0) scaling = read_le16(tuner.hardware_block + hw::kSensorConfiguration + cfg::kOpenScaling);
  if ((scaling & 0x7FFF) == 0) {
    out_printf("\nGet Open Scaling Fail");
    trace(tuner, "\nGet Open Scaling Fail");
  }
  trace(tuner, "\nOpen test scaling , %d", scaling & 0x7FFF);

  int times = tuner.params.open_test_get_times;
  if (times < 2) {
    times = 1;
    tuner.params.open_test_get_times = 1;
  }
  static int32_t sums[kTableLines][kTableColumns];
  std::memset(sums, 0, sizeof sums);
  bool pass = true;
  for (int k = 0; k < times; ++k) {
    if (read_tuner_frame(tuner, 0, kOpenTestFrameWord)) {
      for (int t = 0; t < tx_total; ++t) {
        for (int r = 0; r < rx_total; ++r) sums[t][r] += apply_open_scaling(scaling, tuner.raw_table[t][r]);
      }
    } else {
      pass = false;
    }
    diagnostics_state().tuner_frame.ready[0].store(false);
    diagnostics_state().tuner_frame.ready[1].store(false);
  }
  static int16_t v[kTableLines][kTableColumns];
  for (int t = 0; t < tx_total; ++t) {
    for (int r = 0; r < rx_total; ++r) v[t][r] = static_cast<int16_t>(sums[t][r] / times);
  }

  trace(tuner, "\nCHANNEL,DATA-0,DATA-N\n");
  for (int r = 0; r < rx_total; ++r) {
    const int first = v[0][r], last = v[tx_total - 1][r];
    const bool fail = first < rx_threshold || last < rx_threshold ||
                      check_edge_difference(v, option_threshold, r, rx_total, diff_rx, edge_rx);
    if (fail) {
      trace(tuner, "OpenTest,RX[%d],%d,%d,Fail\n", r, first, last);
    } else {
      trace(tuner, "OpenTest,RX[%d],%d,%d\n", r, first, last);
    }
    if (fail) pass = false;
  }
  trace(tuner, "\n\nCHANNEL,DATA-0,DATA-N\n");
  for (int t = 0; t < tx_total; ++t) {
    const int first = v[t][0], last = v[t][rx_total - 1];
    const bool fail = first < tx_threshold || last < tx_threshold ||
                      check_edge_difference(v, option_threshold, t, tx_total, diff_tx, edge_tx);
    if (fail) {
      trace(tuner, "OpenTest,TX[%d],%d,%d,Fail\n", t, first, last);
    } else {
      trace(tuner, "OpenTest,TX[%d],%d,%d\n", t, first, last);
    }
    if (fail) pass = false;
  }
  trace(tuner, "%s", pass ? "Open Test Pass\n" : "Open Test Fail\n");
  trace(tuner, "Finish Open Test\n");
  diagnostics_state().tuner_frame.ready[0].store(false);
  diagnostics_state().tuner_frame.ready[1].store(false);
  return pass ? 1 : 0;
}

int tuner_short_test(Tuner& tuner) {
  const int threshold = tuner.params.short_test_threshold;
  trace(tuner, "\nStart Short Test\n");
  trace(tuner, "\nShort Test threshold , %d", threshold);
  load_working_tables(tuner, 0);
  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return 0;
  protocol_state().ranges.tx_total = tx_total;
  protocol_state().ranges.rx_total = rx_total;

  ShortTestBytes& s = diagnostics_state().short_bytes;
  if (register_report_handler('?', 'S', short_test_report_handler) != 0) return 0;
  s.done.store(false);
  int repeats = tuner.short_test_argument;
  if (repeats < 2) {
    if (tuner.params.short_test_get_times != 0) {
      repeats = tuner.params.short_test_get_times;
    } else {
      tuner.params.short_test_get_times = 1;
    }
  }
  if (repeats < 1) repeats = 1;  // a count of 0 still reads the panel once
  bool failed = false;
  if (select_parameter_area(0, 0, kShortTestWord) == 0) {
    bool waited = false;
    for (int k = 0; k < repeats && !failed; ++k) {
      if (send_test_mode(1) != 0 || waited) continue;
      waited = true;
      for (int i = 0; i < kShortEndPolls && !s.done.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
      }
      for (int r = 0; r < rx_total; ++r) failed |= std::abs(static_cast<int8_t>(s.rx_first[r])) > threshold;
      for (int t = 0; t < tx_total; ++t) failed |= std::abs(static_cast<int8_t>(s.tx_first[t])) > threshold;
    }
    select_parameter_area(0, 0, kStopDataWord);
  }
  unregister_report_handler('?', 'S');

  const bool negate = tuner.tx_sign_marker[0] == 1 && tuner.tx_sign_marker[1] == '+';
  bool pass = true;
  trace(tuner, "\nCHANNEL,DATA\n");
  for (int r = 0; r < rx_total; ++r) {
    const int value = static_cast<int8_t>(s.rx_first[r]);
    const bool fail = std::abs(value) > threshold;
    if (fail) {
      trace(tuner, "ShortTest,Rx[%d],%d,Fail\n", r, value);
    } else {
      trace(tuner, "ShortTest,Rx[%d],%d\n", r, value);
    }
    if (fail) pass = false;
  }
  trace(tuner, "\nCHANNEL,DATA\n");
  for (int t = 0; t < tx_total; ++t) {
    int value = static_cast<int8_t>(s.tx_first[t]);
    if (negate) value = -value;
    const bool fail = std::abs(value) > threshold;
    if (fail) {
      trace(tuner, "ShortTest,Tx[%d],%d,Fail\n", t, value);
    } else {
      trace(tuner, "ShortTest,Tx[%d],%d\n", t, value);
    }
    if (fail) pass = false;
  }
  trace(tuner, "%s", pass ? "Short Test pass\n" : "Short Test fail\n");
  return pass ? 1 : 0;
}

namespace {

// One channel line of the sensor-test generation's blocks.
void channel_line(FILE* log, const char* test, const char* kind, int channel, int a, int b, bool with_b, bool fail) {
  if (log == nullptr) return;
  if (with_b) {
    std::fprintf(log, "%s,%s[ %d ],%d,%d,%s\n", test, kind, channel, a, b, fail ? "Fail" : "Pass");
  } else {
    std::fprintf(log, "%s,%s[ %d ],%d,%s\r\n", test, kind, channel, a, fail ? "Fail" : "Pass");
  }
}

}  // namespace

int evaluate_open_test(int, int, int tx_threshold, int rx_threshold, int option_threshold, int diff_tx, int diff_rx,
                       int edge_tx, int edge_rx) {
  const int tx_total = protocol_state().ranges.tx_total, rx_total = protocol_state().ranges.rx_total;
  if (tx_total <= 0 || rx_total <= 0 || tx_total > kTableLines || rx_total > kTableColumns) return -1;
  SharedLogFile log(kMainLog, "a+");
  FILE* out = log.stream();
  if (out != nullptr) std::fputs("OPEN TEST \r\n", out);
  const bool scaled = maintenance_state().model_code == 24 || maintenance_state().model_code == 28;
  static int16_t v[kTableLines][kTableColumns];
  const uint16_t word = read_le16(maintenance_state().images.current_hardware + hw::kSensorConfiguration + cfg::kOpenScaling);
  for (int t = 0; t < tx_total; ++t) {
    for (int r = 0; r < rx_total; ++r) {
      const int raw = diagnostics_state().test_raw.values[t][r];
      v[t][r] = scaled ? apply_open_scaling(word, raw) : static_cast<int16_t>(raw);
    }
  }
  if (out != nullptr) {
    std::fprintf(out, "Threshold:,Tx,%d,,Rx,%d\r\n", tx_threshold, rx_threshold);
    std::fprintf(out, "OpenTestDiffOptionTH:,%d\n", option_threshold);
    if (scaled) {
      std::fprintf(out, "DiffThreshold:,Tx,%d,,Rx,%d,,EdgeTolerance:,Tx,%d,,Rx,%d\r\n", diff_tx, diff_rx, edge_tx,
                   edge_rx);
      std::fprintf(out, "OpenScaling:,%d\r\n\r\n", word & 0x7FFF);
    } else {
      std::fprintf(out, "DiffThreshold:,Tx,%d,,Rx,%d\r\n", diff_tx, diff_rx);
    }
    std::fputs("CHANNEL,DATA-0,DATA-N,RESULT\r\n", out);
  }
  bool rx_fail = false, tx_fail = false;
  for (int r = 0; r < rx_total; ++r) {
    const int first = v[0][r], last = v[tx_total - 1][r];
    const bool fail = first < rx_threshold || last < rx_threshold ||
                      check_edge_difference(v, option_threshold, r, rx_total, diff_rx, edge_rx);
    channel_line(out, "OpenTest", "Rx", r, first, last, true, fail);
    rx_fail |= fail;
  }
  if (out != nullptr) {
    std::fputs(rx_fail ? "\r\nOpen Test Rx FAIL\r\n" : scaled ? "\r\nOpen Test Rx PASS\r\n" : "\r\nOpen TestRx PASS\r\n",
               out);
    write_separator_line(out);
  }
  for (int t = 0; t < tx_total; ++t) {
    const int first = v[t][0], last = v[t][rx_total - 1];
    const bool fail = first < tx_threshold || last < tx_threshold ||
                      check_edge_difference(v, option_threshold, t, tx_total, diff_tx, edge_tx);
    channel_line(out, "OpenTest", "Tx", t, first, last, true, fail);
    tx_fail |= fail;
  }
  if (out != nullptr) {
    std::fputs(tx_fail ? "\r\nOpen Test Tx FAIL\r\n" : "\r\nOpen Test Tx PASS\r\n", out);
    write_separator_line(out);
  }
  return rx_fail || tx_fail ? -1 : 0;
}

int evaluate_short_test(int threshold) {
  SensorTestBlock& b = diagnostics_state().sensor_test;
  const int code = maintenance_state().model_code;
  const int tx_total = protocol_state().ranges.tx_total, rx_total = protocol_state().ranges.rx_total;
  if (tx_total < 0 || rx_total < 0 || tx_total > kSensorTestChannels || rx_total > kSensorTestChannels) return -1;
  if (code >= 10 && code <= 13) {
    for (int i = 0; i < kSensorTestChannels; ++i) {
      b.tx_value[i] = static_cast<int16_t>(b.tx_low[i] | b.tx_high[i] << 8);
      b.rx_value[i] = static_cast<int16_t>(b.rx_low[i] | b.rx_high[i] << 8);
    }
  }
  auto value_of = [&](uint8_t low, int16_t combined) -> int {
    if (code == 18) return (combined * 10 / 7) >> 7;
    if (code == 22 || code == 24 || code == 26 || code == 28) return static_cast<int8_t>(low);
    return combined;
  };
  FILE* out = diagnostics_state().log_stream;
  if (out != nullptr) {
    std::fputs("SENSOR TEST 2\r\n", out);
    std::fprintf(out, "Threshold:,%d\r\n\r\n", threshold);
    std::fputs("TEST,CHANNEL,DATA,RESULT\r\n", out);
  }
  bool rx_fail = false, tx_fail = false;
  for (int r = 0; r < rx_total; ++r) {
    const int v = value_of(b.rx_low[r], b.rx_value[r]);
    const bool fail = std::abs(v) > threshold;
    channel_line(out, "ShortTest", "Rx", r, v, 0, false, fail);
    rx_fail |= fail;
  }
  if (out != nullptr) {
    std::fputs(rx_fail ? "\r\nSensor Test 2 Rx FAIL\r\n" : "\r\nSensor Test 2 Rx PASS\r\n", out);
    write_separator_line(out);
  }
  for (int t = 0; t < tx_total; ++t) {
    const int v = value_of(b.tx_low[t], b.tx_value[t]);
    const bool fail = std::abs(v) > threshold;
    channel_line(out, "ShortTest", "Tx", t, v, 0, false, fail);
    tx_fail |= fail;
  }
  if (out != nullptr) {
    std::fputs(tx_fail ? "\r\nSensor Test 2 Tx FAIL\r\n" : "\r\nSensor Test 2 Tx PASS\r\n", out);
    write_separator_line(out);
  }
  return rx_fail || tx_fail ? -1 : 0;
}

void short_test_report_handler(int, int size, const uint8_t* report) {
  ShortTestBytes& s = diagnostics_state().short_bytes;
  if (size < 5) return;
  const int length = report[1], kind = report[4];
  if (length == 3 && kind == 0x81) {
    s.done.store(true);
    return;
  }
  if (length != 6 || size < 8) return;
  const int channel = report[5];
  if (kind == 0x01 && channel < kTableColumns) {
    s.rx_first[channel] = report[6];
    s.rx_second[channel] = report[7];
  } else if (kind == 0x81 && channel < kTableLines) {
    s.tx_first[channel] = report[6];
    s.tx_second[channel] = report[7];
  }
}

}  // namespace tmode
