#include "diagnostics/sensor_tests.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/log_stream.h"
#include "diagnostics/node_tolerance.h"
#include "diagnostics/open_short_tests.h"
#include "diagnostics/raw16_table.h"
#include "diagnostics/sensor_test_reports.h"
#include "diagnostics/test_raw_fetch.h"
#include "link/handler_registration.h"
#include "link/output_sink.h"
#include "maintenance/byte_order.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_images.h"
#include "maintenance/test_commands.h"
#include "paramfile/block_layout.h"
#include "protocol/controller_commands.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

constexpr int kDonePolls = 100;  // of 100 ms
constexpr int kWorkColumns = kSensorTestChannels;

MutualCapState& collection() { return diagnostics_state().mutual; }

// Test 1: [0x00 Rx / 0x80 Tx, channel, int16]; the first reading after the
// start is DATA-0, the next DATA-N, alternating whatever channel they name.
}  // namespace

void sensor_test1_report(int, int size, const uint8_t* report) {
  MutualCapState& m = collection();
  if (size < 5 || m.done.load()) return;
  const int length = report[1], kind = report[4];
  if (length == 3 && kind == 0x80) {
    m.done.store(true);
    return;
  }
  if (length != 6 || size < 8 || (kind != 0x00 && kind != 0x80)) return;
  const int channel = report[5];
  const auto value = static_cast<int16_t>(read_le16(report + 6));
  const bool second = m.test1_toggle != 0;
  m.test1_toggle ^= 1;
  if (channel >= kSensorTestChannels) return;
  SensorTest1Block& b = m.test1;
  if (kind == 0x00) {
    (second ? b.rx_data_n : b.rx_data0)[channel] = value;
  } else {
    (second ? b.tx_data_n : b.tx_data0)[channel] = value;
  }
}

// Test 2: the short reports into the SensorTestBlock.
void sensor_test2_report(int, int size, const uint8_t* report) {
  MutualCapState& m = collection();
  SensorTestBlock& b = diagnostics_state().sensor_test;
  if (size < 5 || m.done.load()) return;
  const int length = report[1], kind = report[4];
  if (length == 3 && kind == 0x81) {
    m.done.store(true);
    return;
  }
  if (length != 6 || size < 8 || report[5] >= kSensorTestChannels) return;
  const int channel = report[5];
  const auto value = static_cast<int16_t>(read_le16(report + 6));
  if (kind == 0x01) {
    b.rx_low[channel] = report[6];
    b.rx_high[channel] = report[7];
    b.rx_value[channel] = value;
  } else if (kind == 0x81) {
    b.tx_low[channel] = report[6];
    b.tx_high[channel] = report[7];
    b.tx_value[channel] = value;
  }
}

// Tests 3 and 4: [0x02, 0xFF, Tx line, first Rx, values].
void sensor_node_report(int, int size, const uint8_t* report) {
  MutualCapState& m = collection();
  if (size < 5 || m.done.load()) return;
  const int length = report[1], kind = report[4];
  if (length == 3 && kind == 0x82) {
    m.done.store(true);
    return;
  }
  if (kind != 0x02 || length < 6 || length + 2 > size || report[5] != 0xFF || m.nodes == nullptr) return;
  const int line = report[6], first = report[7];
  const int count = m.node_values_16bit ? (length - 6) / 2 : length - 6;
  for (int i = 0; i < count; ++i) {
    const int rx = first + i;
    const long at = 1L + static_cast<long>(line) * m.node_rx_total + rx;
    if (rx >= m.node_rx_total || at >= m.node_count) return;
    m.nodes[at] = m.node_values_16bit ? static_cast<int16_t>(read_le16(report + 8 + 2 * i))
                                      : static_cast<int8_t>(report[8 + i]);
  }
}

namespace {

void stop_commands() {
  command_36_4f_echoed(0);
  command_3f_5b(1);
  select_parameter_area(0, 0, 0);
}

bool size_fits(int tx_total, int rx_total) {
  return tx_total > 0 && rx_total > 0 && tx_total <= kTableLines && rx_total <= kSensorTestChannels;
}

int node_value(int t, int r) {
  const MutualCapState& m = collection();
  return m.nodes[1 + t * m.node_rx_total + r];
}

// The block's closing lines: the verdict, the separator, an empty line.
void block_end(FILE* out, const char* verdict) {
  if (out == nullptr) return;
  std::fputs(verdict, out);
  write_separator_line(out);
  std::fputs("\r\n", out);
}

}  // namespace

int sensor_test_1(int threshold, int raw_scaling) {
  const int tx_total = protocol_state().ranges.tx_total, rx_total = protocol_state().ranges.rx_total;
  if (raw_scaling == 0 || !size_fits(tx_total, rx_total)) return -1;
  FILE* out = diagnostics_state().log_stream;
  SensorTest1Block& b = collection().test1;
  if (out != nullptr) {
    std::fputs("SENSOR TEST 1\r\n", out);
    std::fprintf(out, "Threshold:,%d\r\n", threshold);
    std::fprintf(out, "RawScaling:,%d\r\n\r\n", raw_scaling);
    std::fputs("TEST,CHANNEL,DATA-0,DATA-N,RESULT\r\n", out);
  }
  for (int i = 0; i < kSensorTestChannels; ++i) {
    b.rx_data0[i] = static_cast<int16_t>(b.rx_data0[i] / raw_scaling);
    b.rx_data_n[i] = static_cast<int16_t>(b.rx_data_n[i] / raw_scaling);
    b.tx_data0[i] = static_cast<int16_t>(b.tx_data0[i] / raw_scaling);
    b.tx_data_n[i] = static_cast<int16_t>(b.tx_data_n[i] / raw_scaling);
  }
  auto lines = [&](const char* kind, const int16_t* first, const int16_t* last, int count) {
    bool failed = false;
    for (int i = 0; i < count; ++i) {
      const bool fail = first[i] < threshold || last[i] < threshold;
      failed |= fail;
      if (out != nullptr) {
        std::fprintf(out, "SensorTest1,%s[ %d ],%d,%d,%s\r\n", kind, i, first[i], last[i], fail ? "Fail" : "Pass");
      }
    }
    return failed;
  };
  const bool rx_failed = lines("Rx", b.rx_data0, b.rx_data_n, rx_total);
  block_end(out, rx_failed ? "\r\nSensor Test 1 Rx FAIL\r\n" : "\r\nSensor Test 1 Rx PASS\r\n");
  const bool tx_failed = lines("Tx", b.tx_data0, b.tx_data_n, tx_total);
  block_end(out, tx_failed ? "\r\nSensor Test 1 Tx FAIL\r\n" : "\r\nSensor Test 1 Tx PASS\r\n");
  return rx_failed || tx_failed ? -1 : 0;
}

int sensor_test_3(int threshold, int corner, int raw_scaling) {
  const ChannelRanges& ranges = protocol_state().ranges;
  const int tx_total = ranges.tx_total, rx_total = ranges.rx_total;
  const MutualCapState& m = collection();
  if (raw_scaling == 0 || !size_fits(tx_total, rx_total) || m.nodes == nullptr ||
      m.node_count < 1 + tx_total * rx_total || m.node_rx_total != rx_total) {
    return -1;
  }
  static int32_t work[kTableLines][kWorkColumns];
  std::memset(work, 0, sizeof work);
  for (int t = 0; t + 1 < tx_total; ++t) {
    for (int r = 0; r < rx_total; ++r) work[t][r] = (node_value(t, r) - node_value(t + 1, r)) / raw_scaling;
  }
  FILE* out = diagnostics_state().log_stream;
  if (out != nullptr) {
    std::fprintf(out, "SENSOR TEST 3\r\n");
    std::fprintf(out, "Threshold:,%d", threshold);
    std::fprintf(out, ",,CornerTolerance:,%d\r\n", corner);
    std::fprintf(out, "RawScaling:,%d\r\n", raw_scaling);
    std::fprintf(out, "OriginPoint Location:,%s\r\n\r\n",
                 origin_name(maintenance_state().images.first_software[sw::kSwapBits]));
    std::fputs(",", out);
    const int chips = ranges.driving_chip_count < kMaxDrivingChips ? ranges.driving_chip_count : kMaxDrivingChips;
    for (int k = 0; k < chips; ++k) {
      for (int c = ranges.tx_start[k]; c <= ranges.tx_end[k]; ++c) std::fprintf(out, "Chip-%d[ %02d ],", k, c);
    }
    std::fputs("\r\n", out);
  }
  const int segments = ranges.sensing_chip_count < kMaxSensingChips ? ranges.sensing_chip_count : kMaxSensingChips;
  int k = 0, channel = ranges.rx_start[0], span = ranges.rx_end[0] - ranges.rx_start[0];
  bool failed = false;
  for (int r = 0; r < rx_total; ++r) {
    if (out != nullptr) std::fprintf(out, "Rx[ %02d ],", r);
    for (int t = 0; t < tx_total; ++t) {
      const int tolerance = is_corner_node(r, t, rx_total, tx_total) ? corner : 0;
      const int e = work[t][r];
      const bool fail = r != rx_total - 1 && std::abs(e) > threshold + tolerance;
      failed |= fail;
      if (out != nullptr) std::fprintf(out, fail ? "**%d," : "%d,", e);
    }
    // The label walk moves to the next segment, never past the last one.
    if (k + 1 < segments && r > span && ranges.rx_end[k] < channel) {
      span = ranges.rx_end[k + 1] - channel;
      ++k;
      channel = ranges.rx_start[k];
    }
    if (out != nullptr) std::fprintf(out, "Chip-%d[ %02d ],\r\n", k, channel);
    ++channel;
  }
  if (out != nullptr) {
    std::fputs(",", out);
    for (int t = 0; t < tx_total; ++t) std::fprintf(out, "Tx[ %02d ],", t);
    std::fputs("\r\n", out);
  }
  block_end(out, failed ? "\r\nSensor Test 3 FAIL\r\n" : "\r\nSensor Test 3 PASS\r\n");
  return failed ? -1 : 0;
}

int sensor_test_4(int threshold, int raw_scaling) {
  const int tx_total = protocol_state().ranges.tx_total, rx_total = protocol_state().ranges.rx_total;
  const MutualCapState& m = collection();
  if (raw_scaling == 0 || !size_fits(tx_total, rx_total) || m.nodes == nullptr ||
      m.node_count < 1 + tx_total * rx_total || m.node_rx_total != rx_total) {
    close_shared_log();
    return -1;
  }
  FILE* out = diagnostics_state().log_stream;
  if (out != nullptr) {
    std::fputs("SENSOR TEST 4\r\n", out);
    std::fprintf(out, "Threshold:,%d,,LastRx Tolerance:,%d,,CornerTolerance:,%d,\r\n", threshold, (128 - threshold) / 2, 0);
    std::fprintf(out, "RawScaling:,%d\r\n\r\n", raw_scaling);
  }
  int limit = threshold;
  bool failed = false;
  for (int r = 0; r < rx_total; ++r) {
    if (r == rx_total - 1) limit = 128 - (128 - limit) / 2;
    if (out != nullptr) std::fprintf(out, "Rx[ %02d ],", r);
    for (int t = 0; t < tx_total; ++t) {
      const int magnitude = std::abs(node_value(t, r));
      const int value = raw_scaling == -1 ? -magnitude : magnitude / raw_scaling;
      const bool fail = value > limit;
      failed |= fail;
      if (out != nullptr) std::fprintf(out, fail ? "**%d," : "%d,", std::abs(value));
    }
    if (out != nullptr) std::fputs("\r\n", out);
  }
  if (out != nullptr) {
    std::fputs(",", out);
    for (int t = 0; t < tx_total; ++t) std::fprintf(out, "Tx[ %02d ],", t);
    std::fputs("\r\n", out);
  }
  block_end(out, failed ? "\r\nSensor Test 4 FAIL\r\n" : "\r\nSensor Test 4 PASS\r\n");
  close_shared_log();
  return failed ? -1 : 0;
}

int run_sensor_test(int, int, int parameter, int test, int threshold, int corner, int raw_scaling) {
  SharedLogFile log(kMainLog, "a+");
  select_parameter_area(0, 0, kStopDataWord);
  const int code = maintenance_state().model_code;
  bool sized;
  if (code == 18 || code == 22 || code == 24 || code == 26 || code == 28) {
    ValueRecord5 size{};
    sized = read_sensor_size(0, 0, &size) == 0;
  } else {
    sized = compute_channel_ranges() == 1;
  }
  const int tx_total = protocol_state().ranges.tx_total, rx_total = protocol_state().ranges.rx_total;
  command_3f_5b(0);
  command_36_4f_echoed(parameter);
  select_parameter_area(0, 0, kShortTestWord);
  // Refused after the start commands: a test number outside 0 to 3, a size
  // that was not read or does not fit the tables, a raw scaling that would
  // divide by zero.
  if (test < 0 || test > 3 || !sized || !size_fits(tx_total, rx_total) || (raw_scaling == 0 && test != 1)) {
    stop_commands();
    return -1;
  }

  MutualCapState& m = collection();
  std::unique_ptr<int16_t[]> nodes;
  ReportCallback handler = sensor_test1_report;
  if (test == 0) {
    m.test1 = {};
    m.test1_toggle = 0;
  } else if (test == 1) {
    diagnostics_state().sensor_test = {};
    handler = sensor_test2_report;
  } else {
    const int count = tx_total * rx_total + 1;
    nodes.reset(new (std::nothrow) int16_t[static_cast<size_t>(count)]());
    if (nodes == nullptr) {
      out_puts("3-malloc memory fail!");
      stop_commands();
      return -1;
    }
    nodes[0] = static_cast<int16_t>(parameter);
    m.nodes = nodes.get();
    m.node_count = count;
    m.node_rx_total = rx_total;
    handler = sensor_node_report;
  }
  m.done.store(false);
  bool done = false;
  {
    HandlerRegistration registration('?', 'S', handler);
    if (registration.registered() && send_test_mode(test) == 0) {
      for (int i = 0; i < kDonePolls && !m.done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    done = m.done.load();
  }  // the handler is removed before its data is judged

  int result = -1;
  if (done) {
    switch (test) {
      case 0: result = sensor_test_1(threshold, raw_scaling); break;
      case 1: result = evaluate_short_test(threshold); break;
      case 2: result = sensor_test_3(threshold, corner, raw_scaling); break;
      default: result = sensor_test_4(threshold, raw_scaling); break;
    }
  }
  m.nodes = nullptr;
  m.node_count = 0;
  nodes.reset();
  if (test == 3 && done) {
    fetch_test_raw(0, 0);
    log_raw16_table();
  }
  stop_commands();
  return result;
}

}  // namespace tmode
