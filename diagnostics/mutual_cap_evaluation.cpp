#include "diagnostics/mutual_cap_evaluation.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "diagnostics/chip_labels.h"
#include "diagnostics/data_words.h"
#include "diagnostics/diagnostics_state.h"
#include "diagnostics/l2_frame.h"
#include "diagnostics/log_stream.h"
#include "diagnostics/node_tolerance.h"
#include "diagnostics/raw16_table.h"
#include "diagnostics/sensor_test_reports.h"
#include "diagnostics/test_raw_fetch.h"
#include "link/handler_registration.h"
#include "link/output_sink.h"
#include "link/reply_wait.h"
#include "maintenance/byte_order.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/model_identification.h"
#include "maintenance/model_image_access.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "protocol/controller_commands.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

constexpr int kDonePolls = 100;  // of 100 ms
constexpr int kL2Shift = 6;

bool scaled_model(int code) { return code == 24 || code == 28; }

// A difference shifted right; 32 or more leaves the sign.
int shifted(int value, int shift) {
  if (shift >= 32) return value < 0 ? -1 : 0;
  return value >> shift;
}

}  // namespace

int evaluate_mutual_cap_test(int, int, int threshold, int corner, int extended, int last_rx) {
  MutualCapState& m = diagnostics_state().mutual;
  SharedLogFile log(kMainLog, "a+");
  FILE* out = log.stream();
  if (out != nullptr) {
    std::fputs("Mutual Cap Test\r\n", out);
    std::fprintf(out, "Threshold:,%d", threshold);
    std::fprintf(out, ",LastRxTolerance,%d,CornerTolerance:,%d", last_rx, corner);
    if (extended == 1) std::fprintf(out, ",ExtendCornerTolerance:,%d", corner / 2);
    std::fputs("\r\n", out);
  }
  const int code = maintenance_state().model_code;
  const uint8_t* image = model_parameter_image(code);
  int s = 0;
  bool multiply = false;
  if (scaled_model(code)) {
    fetch_test_raw(0, 0, true);
    const uint16_t mutual = read_le16(image + kModelImageMutualScaling);
    s = mutual & 0x7FFF;
    multiply = (mutual & 0x8000) != 0 && s != 0;
    if (s == 0) s = read_le16(image + kModelImageOpenScaling) & 0x7FFF;
    if (s == 0) {
      if (out != nullptr) std::fputs("Get Scaling Fail\n", out);
      m.mutual_cap_failed = true;
      return -1;
    }
    if (out != nullptr) std::fprintf(out, "MutualScaling:,%d\r\n", s);
  }
  const int tx_total = protocol_state().ranges.tx_total, rx_total = protocol_state().ranges.rx_total;
  if (tx_total < 2 || rx_total < 2 || !frame_fits_tables(rx_total, tx_total, 0)) {
    m.mutual_cap_failed = true;
    return -1;
  }
  auto value = [&](int t, int r) -> int {
    if (!scaled_model(code)) return diagnostics_state().test_raw.values[t][r];
    const int l2 = m.l2.values[t][r];
    return static_cast<int16_t>((multiply ? s * l2 / 10 : l2 * 10 / s) >> kL2Shift);
  };
  const int shift = code == 22 || code == 26 ? image[kModelImageShiftByte]
                                             : maintenance_state().images.hardware1[hw::frequency_block(0) + freq::kImageScaling];
  auto difference = [&](int t, int r) -> int {
    if (scaled_model(code)) return static_cast<int16_t>(value(t + 1, r) - value(t, r));
    return shifted(value(t, r) - value(t + 1, r), shift);
  };

  GridTolerances tolerances;
  tolerances.corner = corner;
  tolerances.extended = extended == 1;
  tolerances.last_rx = last_rx;
  const int columns = tx_total - 1, rows = rx_total - 1;
  bool pass = true;
  if (out != nullptr) std::fputs(",", out);
  ChipLabelWalk driving(library_driving_chips());
  for (int t = 0; t < columns; ++t, driving.advance()) {
    if (out != nullptr) std::fprintf(out, "Chip-%d[%02d],", driving.chip(), driving.channel());
  }
  ChipLabelWalk sensing(library_sensing_chips());
  for (int r = 0; r < rows; ++r, sensing.advance()) {
    if (out != nullptr) std::fprintf(out, "\nRx[%02d]", r);
    for (int t = 0; t < columns; ++t) {
      const int d = difference(t, r);
      const bool fail = std::abs(d) > threshold + node_tolerance(r, t, rx_total, tx_total, tolerances);
      if (fail) pass = false;
      if (out != nullptr) std::fprintf(out, fail ? ",**%d" : ",%d", d);
    }
    if (out != nullptr) std::fprintf(out, ",Chip-%d[%02d]", sensing.chip(), sensing.channel());
  }
  if (out != nullptr) {
    std::fputs("\n", out);
    for (int t = 0; t < columns; ++t) std::fprintf(out, ",Tx[%02d]", t);
    std::fputs("\r\n", out);
  }
  m.mutual_cap_failed = !pass;
  if (out != nullptr) std::fputs("\r\n", out);
  return pass ? 0 : -1;
}

void l2_frame_report(int, int size, const uint8_t* report) {
  L2Collect& c = diagnostics_state().mutual.l2_collect;
  if (size < 5 || report[2] != 'J' || c.done.load()) return;
  const int length = report[1];
  if (length < 3 || length + 2 > size) return;
  const int line = report[3], first = report[4], count = (length - 3) / 2;
  if (!c.started && line != 0 && first != 0) return;
  c.started = true;
  if (first + count <= c.rx_total) {
    const long at = static_cast<long>(line) * c.rx_total + first;
    for (int i = 0; i < count && at + i < c.capacity; ++i) c.values[at + i] = static_cast<int16_t>(read_le16(report + 5 + 2 * i));
  }
  ++c.packets;
  if (line != c.last_line || first + count != c.rx_total) return;
  const int expected = c.packets_per_line * (line + 1);
  if (c.packets == expected || c.packets == expected - 1 || c.retries <= 0) {
    c.done.store(true);
  } else {
    --c.retries;
    c.packets = 0;
  }
}

namespace {

bool contains_model_number(const char* name, int size, const char* number) {
  const int n = static_cast<int>(std::strlen(number));
  for (int i = 0; i + n <= size && name[i] != 0; ++i) {
    if (std::memcmp(name + i, number, static_cast<size_t>(n)) == 0) return true;
  }
  return false;
}

// Sensing segments of models 24, 28, 30 and the even family: rebuilt from
// the model image's first sensing channel and count, 44 channels a chip.
void rebuild_sensing_segments() {
  ChannelRanges& r = protocol_state().ranges;
  uint8_t pairs[2 * kSplitChips];
  for (int k = 0; k < kSplitChips; ++k) {
    pairs[2 * k] = 1;
    pairs[2 * k + 1] = 0;
  }
  split_channel_range(pairs);
  for (int k = 0; k < kSplitChips && k < kMaxSensingChips; ++k) {
    r.rx_start[k] = pairs[2 * k];
    r.rx_end[k] = pairs[2 * k + 1];
  }
}

// Writes one saturation table (maxima from the high bytes, minima from the
// low bytes). True when a judged node failed.
bool l2_table(FILE* out, const L2FrameBuffer& frame, int tx_total, int rx_total, int extra, int offset, bool high,
              int threshold, bool skip_segment_ends, bool blank_row) {
  const ChannelRanges& ranges = protocol_state().ranges;
  const int segments = ranges.sensing_chip_count < kMaxSensingChips ? ranges.sensing_chip_count : kMaxSensingChips;
  int segment = 0, channel = segments > 0 ? ranges.rx_start[0] : 0;
  const int limit = static_cast<int8_t>(threshold);
  bool failed = false;
  for (int r = 0; r < rx_total - 1; ++r) {
    if (out != nullptr) std::fprintf(out, "Rx[ %02d ],", r);
    const bool segment_end = segments > 0 && channel == ranges.rx_end[segment];
    for (int t = 0; t < tx_total; ++t) {
      const int line = extra + t - offset;
      int value = 0;
      if (line >= 0 && line < frame.line_count) {
        const uint16_t entry = static_cast<uint16_t>(frame.values[static_cast<long>(line) * rx_total + r]);
        value = static_cast<int8_t>(high ? entry >> 8 : entry & 0xFF);
      }
      if (blank_row && r == rx_total - 2) value = 0;
      if (skip_segment_ends && segment_end) {
        if (out != nullptr) std::fprintf(out, "%d,", value);
      } else if (std::abs(value) > std::abs(limit)) {
        failed = true;
        if (out != nullptr) std::fprintf(out, "**%d,", value);
      } else if (out != nullptr) {
        std::fprintf(out, "%d,", value);
      }
    }
    if (out != nullptr) std::fputs("\r\n", out);
    if (segment_end && segment + 1 < segments) {
      ++segment;
      channel = ranges.rx_start[segment];
    } else {
      ++channel;
    }
  }
  return failed;
}

}  // namespace

int l2_mutual_cap_test(int, int, int threshold, int skip_segment_ends) {
  MutualCapState& m = diagnostics_state().mutual;
  const int code = maintenance_state().model_code;
  const bool even_family = is_even_code_family(code);
  const int offset = scaled_model(code) && (maintenance_state().images.first_software[kWaterLineWord + 1] & 0x80) == 0 ? 1 : 0;
  select_parameter_area(0, 0, 0);
  sleep_ms(1);
  select_parameter_area(0, 0, kStopDataWord);
  command_3f_5b(0);
  SharedLogFile log(kMainLog, "a+");
  FILE* out = log.stream();
  if (out != nullptr) {
    std::fprintf(out, "L2 Threshold:,%d\r\n", threshold);
    std::fputs("L2 Max Data\r\n", out);
  }

  ValueRecord5 size{};
  ChannelRanges& ranges = protocol_state().ranges;
  int extra = diagnostics_state().frame.extra_lines;
  bool usable = read_sensor_size(0, 0, &size) == 0;
  if (usable && ranges.driving_chip_count < 4 && ranges.sensing_chip_count < 5 &&
      (code == 24 || code == 28 || code == 30 || even_family)) {
    rebuild_sensing_segments();
  }
  if (usable && even_family) {
    uint8_t reply[64] = {};
    if (command_3f_6b(1, reply) == 1 && reply[1] >= 4 && reply[6] != 0) extra = reply[6] + 1;
  }
  const int tx_total = ranges.tx_total, rx_total = ranges.rx_total;
  usable = usable && tx_total > 0 && rx_total > 1 && frame_fits_tables(rx_total, tx_total, extra);
  if (usable && !reserve_l2_frame(m.l2_frame, rx_total, tx_total + extra)) {
    out_puts("Saturation L2 Test-malloc memory fail!");
    usable = false;
  }
  if (!usable) {
    command_3f_5b(1);
    return -1;
  }

  L2Collect& c = m.l2_collect;
  prepare_l2_collect(m, rx_total, tx_total + extra - 1);
  bool arrived = false;
  {
    HandlerRegistration handler('J', 0xFFFF, l2_frame_report);
    if (handler.registered() && select_parameter_area(0, 0, kSaturationWord) == 0) {
      for (int i = 0; i < kDonePolls && !c.done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    arrived = c.done.load();
    select_parameter_area(0, 0, kStopDataWord);
  }
  command_3f_5b(1);

  const char* name = protocol_state().cached_model_name;
  const bool blank_row = contains_model_number(name, kTextFieldSize, kL2BlankRowModel);
  const bool skip = skip_segment_ends != 0;
  bool failed = l2_table(out, m.l2_frame, tx_total, rx_total, extra, offset, true, threshold, skip, blank_row);
  if (out != nullptr) std::fputs("\r\nL2 Min Data\r\n", out);
  failed |= l2_table(out, m.l2_frame, tx_total, rx_total, extra, offset, false, threshold, skip, blank_row);
  if (failed) m.l2_failed = true;
  const bool common_fail = diagnostics_state().noise.noise_failed || m.mutual_cap_failed || m.l2_failed;
  if (out != nullptr) {
    std::fputs(",", out);
    for (int t = 0; t < tx_total; ++t) std::fprintf(out, "Tx[ %02d ],", t);
    std::fputs("\r\n", out);
    std::fputs(common_fail ? "Mutual Cap Test Fail\r\n" : "Mutual Cap Test Pass\r\n", out);
    std::fputs("\r\n", out);
    write_separator_line(out);
  }
  log.close();
  if (!even_family) log_raw16_table();
  return arrived && !common_fail ? 0 : -1;
}

}  // namespace tmode
