#include "diagnostics/test_raw_fetch.h"

#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "diagnostics/data_words.h"
#include "diagnostics/diagnostics_state.h"
#include "diagnostics/sensor_test_reports.h"
#include "link/handler_registration.h"
#include "maintenance/byte_order.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "protocol/controller_commands.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

constexpr int kValuesPerPacket = 29;
constexpr int kRetries = 6;
constexpr int kDonePolls = 100;  // of 100 ms
constexpr int kLevelOfFirstImage = 40;

bool node_report_model(int code) { return code >= 10 && code <= 13; }

}  // namespace

void raw_fetch_frame_report(int, int size, const uint8_t* report) {
  RawFetch& f = diagnostics_state().mutual.fetch;
  if (size < 5 || report[2] != 'J' || f.done.load()) return;
  const int length = report[1];
  if (length < 3 || length + 2 > size) return;
  const int line = report[3], first = report[4], count = (length - 3) / 2;
  const int row = line - f.skip;
  if (row >= 0 && row < kTableLines && first + count <= f.rx_total && f.table != nullptr) {
    for (int i = 0; i < count; ++i) f.table[row][first + i] = static_cast<int16_t>(read_le16(report + 5 + 2 * i));
  }
  ++f.packets;
  if (line != f.tx_total + 1 || first + count != f.rx_total) return;
  if (f.packets == f.packets_per_line * (line + 1) || f.retries <= 0) {
    f.done.store(true);
  } else {
    --f.retries;
    f.packets = 0;
  }
}

void raw_fetch_node_report(int, int size, const uint8_t* report) {
  RawFetch& f = diagnostics_state().mutual.fetch;
  if (size < 5 || f.done.load()) return;
  const int length = report[1], kind = report[4];
  if (length == 3 && kind == 0x88) {
    for (int t = 0; t < f.tx_total; ++t) {
      for (int r = 0; r < f.rx_total; ++r) {
        diagnostics_state().test_raw.values[t][r] = static_cast<int16_t>(read_le16(&f.staging[t][2 * r]));
      }
    }
    f.done.store(true);
    return;
  }
  if (kind != 0x08 || length < 6 || size < 8 || report[5] != 0xFF || length + 2 > size) return;
  const int line = report[6], offset = 2 * report[7], bytes = length - 6;
  // Lines and channels from the wire are checked against the staging area.
  if (line >= kTableLines || offset + bytes > kStagingLineBytes) return;
  std::memcpy(&f.staging[line][offset], report + 8, static_cast<size_t>(bytes));
}

namespace {

// The skip count: lines before the first Tx line of a frame.
int frame_skip(int code) {
  if (code == 18) return 2;
  if (code != 24 && code != 28) return 1;
  uint8_t level[64] = {};
  const int got = read_controller_level(0, 0, level);
  const ParameterImages& images = maintenance_state().images;
  const bool first = got <= 0 || got > 60 || level[0] <= kLevelOfFirstImage;
  return water_line_bit(first ? images.first_software : images.current_software) ? 2 : 1;
}

}  // namespace

bool water_line_bit(const uint8_t* software_image) { return (read_le16(software_image + kWaterLineWord) & 0x8000) != 0; }

int packets_per_line(int rx_total) { return rx_total <= 0 ? 1 : (rx_total + kValuesPerPacket - 1) / kValuesPerPacket; }

int fetch_test_raw(int, int, bool l2_mode) {
  const int failed = l2_mode ? 1 : -1;
  select_parameter_area(0, 0, kStopDataWord);
  ValueRecord5 size{};
  const ChannelRanges& ranges = protocol_state().ranges;
  const int code = maintenance_state().model_code;
  const int skip = code == 18 ? 2 : frame_skip(code);
  if (read_sensor_size(0, 0, &size) != 0 || ranges.rx_total <= 0 || ranges.tx_total <= 0 ||
      !frame_fits_tables(ranges.rx_total, ranges.tx_total, skip)) {
    select_parameter_area(0, 0, kStopDataWord);
    return -1;
  }
  RawFetch& f = diagnostics_state().mutual.fetch;
  f.table = l2_mode ? diagnostics_state().mutual.l2.values : diagnostics_state().test_raw.values;
  f.skip = skip;
  f.tx_total = ranges.tx_total;
  f.rx_total = ranges.rx_total;
  f.packets_per_line = packets_per_line(f.rx_total);
  f.retries = kRetries;
  f.packets = 0;
  std::memset(f.staging, 0, sizeof f.staging);
  f.done.store(false);
  command_3f_5b(0);
  command_36_4f_echoed(0);

  bool done = false;
  {
    HandlerRegistration frames('J', 0xFFFF, raw_fetch_frame_report);
    const bool node_reports = !l2_mode && node_report_model(code);
    std::optional<HandlerRegistration> nodes;
    if (node_reports) nodes.emplace('?', 'S', raw_fetch_node_report);
    if (frames.registered() && (!nodes || nodes->registered())) {
      if (l2_mode) {
        select_parameter_area(0, 0, kRawL2Word);
      } else if (node_reports) {
        select_parameter_area(0, 0, kShortTestWord);
        send_test_mode(8);
      } else {
        select_parameter_area(0, 0, kRawWord);
      }
      for (int i = 0; i < kDonePolls && !f.done.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      done = f.done.load();
    }
    select_parameter_area(0, 0, kStopDataWord);
  }  // both handlers are removed here
  command_3f_5b(1);
  return done ? 0 : failed;
}

}  // namespace tmode
