#include "diagnostics/uniformity_creation.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "diagnostics/data_words.h"
#include "diagnostics/diagnostics_state.h"
#include "diagnostics/l2_frame.h"
#include "diagnostics/log_stream.h"
#include "diagnostics/sensor_test_reports.h"
#include "diagnostics/test_raw_fetch.h"
#include "diagnostics/uniformity_table.h"
#include "link/handler_registration.h"
#include "link/output_sink.h"
#include "link/reply_wait.h"
#include "maintenance/byte_order.h"
#include "maintenance/compact_table.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/model_identification.h"
#include "maintenance/model_image_access.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_images.h"
#include "maintenance/test_commands.h"
#include "maintenance/uniformity_format.h"
#include "protocol/controller_commands.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

constexpr uint16_t kDataOff = 0;
constexpr uint16_t kWriteArea = 0x8001;
constexpr int kNodeTestMode = 2;
constexpr int kDonePolls = 50;  // of 100 ms
constexpr int kPollMs = 100;
constexpr int kSettleMs = 1000;

constexpr int kPointsStart = 86;
constexpr int kWideBit = 0x1000;  // marks a wide section's count word
constexpr int kPlainTableBytes = 6144;
constexpr int kPlainSlot = 301;
constexpr int kCompactLimit = 8190;
constexpr int kCompactMiddleLimit = 4106;

// The parameter-image layout: the working frequency count and the
// frequency records with their timing bytes (clock source p, divider r,
// prescaler q).
constexpr int kFrequencyCountByte = 17;
constexpr int kFrequencyRecords = 400;
constexpr int kFrequencyRecordBytes = 90;
constexpr int kClockSourceByte = 1;
constexpr int kDividerByte = 2;
constexpr int kPrescalerByte = 3;
// Where the firmware keeps its own uniformity threshold: a word of the
// software image (models 24 and 28), an enable word and a threshold word of
// the hardware image (the even-code family).
constexpr int kSoftwareThresholdWord = 184;
constexpr int kHardwareThresholdEnable = 100;
constexpr int kHardwareThresholdWord = 102;

// Error bits of a build.
constexpr int kTooManyPoints = 1;
constexpr int kOffsetOverflow = 2;

bool scaled_model(int code) { return code == 24 || code == 28; }
bool sized_model(int code) {
  return code == 18 || code == 22 || code == 24 || code == 26 || code == 28 || is_even_code_family(code);
}
bool l2_node_model(int code) { return scaled_model(code) || code == 32 || is_even_code_family(code); }

int image_bytes(int code) { return code == 18 ? kSmallHardwareBlockSize : kHardwareBlockSize; }

// Byte `at` of the model's hardware image, 0 outside it.
int image_byte(int code, int at) {
  return at >= 0 && at < image_bytes(code) ? model_parameter_image(code)[at] : 0;
}

int entry_bytes(const UniformityFormat& f) { return f.wide ? 4 : 3; }

uint16_t section_word(const uint8_t* table, int f) { return read_le16(table + 6 + 4 * f); }
uint16_t first_index(const uint8_t* table, int f) { return read_le16(table + 8 + 4 * f); }

// Frees the node buffers and the L2 frame buffer when the creation ends.
struct CreationBuffers {
  ~CreationBuffers() {
    UniformityCreation& uc = diagnostics_state().uniformity_creation;
    for (auto& nodes : uc.nodes) nodes.reset();
    L2FrameBuffer& frame = diagnostics_state().mutual.l2_frame;
    frame.values.reset();
    frame.capacity = 0;
    UniformityTableState& u = maintenance_state().uniformity;
    if (u.compact_info) release_compact_info(u.compact_info.get());
    u.compact_info.reset();
  }
};

// Step 2's additions to the format of the table: the count mask, the size
// the points must end within, and the threshold and extra lines the
// firmware may prescribe. False for a model without a uniformity table.
bool prepare_format(int kv, int* threshold, int* extra) {
  UniformityTableState& u = maintenance_state().uniformity;
  UniformityCreation& uc = diagnostics_state().uniformity_creation;
  choose_uniformity_format(static_cast<uint32_t>(kv));
  if (u.size <= 0) return false;
  uc.count_mask = 0x0FFF;
  uc.size_limit = u.size;
  if (u.format.compact && u.compact_info) {
    uc.count_mask = 0xFFFF;
    uc.size_limit = u.size == 3072 ? kCompactMiddleLimit : kCompactLimit;
    u.compact_info->size = static_cast<uint32_t>(u.size);
  } else {
    u.format.compact = false;
  }
  const int code = maintenance_state().model_code;
  if (scaled_model(code) && kv >= 41) {
    const int word = read_le16(maintenance_state().images.first_software + kSoftwareThresholdWord);
    if (word != 0) *threshold = static_cast<int>(word * 0.7 / 2);
  }
  if (is_even_code_family(code)) {
    const uint8_t* image = model_parameter_image(code);
    if (read_le16(image + kHardwareThresholdEnable) != 0) *threshold = read_le16(image + kHardwareThresholdWord) / 2;
    uint8_t reply[64] = {};
    if (command_3f_6b(1, reply) == 1 && reply[1] >= 4 && reply[6] != 0) *extra = reply[6] + 1;
  }
  return true;
}

// Node (t, r) of frequency buffer `nodes` from the L2 frame.
void convert_frame(int16_t* nodes, const L2FrameBuffer& frame, int tx_total, int rx_total, int extra) {
  const int code = maintenance_state().model_code;
  const bool water = (maintenance_state().images.first_software[kWaterLineWord + 1] & 0x80) != 0;
  const int skip = scaled_model(code) && !water ? 1 : 0;
  const int scaling = diagnostics_state().frame.raw_scaling;
  auto l2 = [&](int line, int r) -> int {
    if (line < 0 || line >= frame.line_count || r < 0 || r >= frame.rx_count) return 0;
    return frame.values[static_cast<long>(line) * frame.rx_count + r];
  };
  for (int r = 0; r < rx_total - 1; ++r) {
    for (int t = 0; t < tx_total; ++t) {
      int value = 0;
      if (l2_node_model(code)) {
        value = l2(extra + t - skip, r);
        if (scaling != 0 && scaling != 100) value = value * 100 / scaling;
      } else {
        value = (l2(extra + t, r) - l2(extra + t, r + 1)) >> 3;
      }
      nodes[1 + t * rx_total + r] = static_cast<int16_t>(value);
    }
  }
}

bool wait_done(const std::atomic<bool>& done) {
  for (int i = 0; i < kDonePolls; ++i) {
    if (done.load()) return true;
    sleep_ms(kPollMs);
  }
  return done.load();
}

// Step 5 for frequency f: the node buffer, the frequency selected, one frame
// captured and converted. 0, or -1 with the reason printed where the steps
// name one.
int capture_frequency(int f, int extra) {
  UniformityCreation& uc = diagnostics_state().uniformity_creation;
  MutualCapState& m = diagnostics_state().mutual;
  const int code = maintenance_state().model_code;
  const int tx_total = uc.tx_total, rx_total = uc.rx_total;
  const size_t entries = static_cast<size_t>(tx_total) * static_cast<size_t>(rx_total) + 1;
  select_parameter_area(0, 0, kStopDataWord);
  uc.nodes[f].reset(new (std::nothrow) int16_t[entries]);
  if (!uc.nodes[f]) {
    out_puts("UTable malloc Fail!!");
    return -1;
  }
  int16_t* nodes = uc.nodes[f].get();
  std::memset(nodes, 0, sizeof(int16_t) * entries);
  nodes[0] = static_cast<int16_t>(f);
  command_36_4f_echoed(f);
  if (!reserve_l2_frame(m.l2_frame, rx_total, tx_total + extra)) {
    out_puts("2-malloc memory fail!");
    return -1;
  }

  bool arrived = false;
  if (sized_model(code)) {
    prepare_l2_collect(m, rx_total, tx_total + extra - 1);
    HandlerRegistration frame('J', 0xFFFF, l2_frame_report);
    if (frame.registered()) {
      select_parameter_area(0, 0, scaled_model(code) || is_even_code_family(code) ? kRawL2Word : kRawWord);
      arrived = wait_done(m.l2_collect.done);
    }
    select_parameter_area(0, 0, kStopDataWord);
  } else {
    // The node data arrives in '?','S' reports; the L2 frame stays empty
    // for these models, so the nodes are taken as reported.
    m.nodes = nodes;
    m.node_count = static_cast<int32_t>(entries);
    m.node_rx_total = rx_total;
    m.done.store(false);
    HandlerRegistration node_data('?', 'S', sensor_node_report);
    if (node_data.registered()) {
      select_parameter_area(0, 0, kShortTestWord);
      send_test_mode(kNodeTestMode);
      arrived = wait_done(m.done);
    }
    node_data.remove();
    m.nodes = nullptr;
    select_parameter_area(0, 0, kStopDataWord);
    return arrived ? 0 : -1;
  }
  if (!arrived) return -1;
  convert_frame(nodes, m.l2_frame, tx_total, rx_total, extra);
  return 0;
}

// Step 3: F and the sensor size. False when the size cannot be had or the
// tables cannot hold it.
bool read_sizes(int extra) {
  UniformityCreation& uc = diagnostics_state().uniformity_creation;
  const int code = maintenance_state().model_code;
  bool sized = false;
  if (sized_model(code)) {
    ValueRecord5 size{};
    sized = read_sensor_size(0, 0, &size) == 0;
  } else {
    sized = compute_channel_ranges() == 1;
  }
  uc.frequency_count = image_byte(sized_model(code) ? code : 0, kFrequencyCountByte);
  uc.tx_total = protocol_state().ranges.tx_total;
  uc.rx_total = protocol_state().ranges.rx_total;
  return sized && uc.tx_total > 1 && uc.rx_total > 1 && frame_fits_tables(uc.rx_total, uc.tx_total, extra);
}

// Step 3c's exception: a compact table of type 1 leaves the inner nodes of
// one parity out.
bool skipped_by_pattern(int t, int r, int tx_total, int rx_total) {
  const UniformityTableState& u = maintenance_state().uniformity;
  if (!u.format.compact || !u.compact_info || u.compact_info->table_type != 1) return false;
  const bool t_odd = (t & 1) != 0, r_odd = (r & 1) != 0;
  return t_odd != r_odd && r > 0 && r < rx_total - 2 && t > 0 && t < tx_total - 2;
}

// Sorts section f's points by their first and second bytes.
void sort_section(uint8_t* table, int f, const UniformityFormat& format, uint16_t mask) {
  const int width = entry_bytes(format);
  const int count = section_word(table, f) & mask;
  uint8_t* begin = table + kPointsStart + width * first_index(table, f);
  if (count < 2 || begin + width * count > table + kUniformityWorkBytes) return;
  std::vector<std::array<uint8_t, 4>> points(static_cast<size_t>(count));
  for (int e = 0; e < count; ++e) std::memcpy(points[static_cast<size_t>(e)].data(), begin + width * e, static_cast<size_t>(width));
  std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) {
    return a[0] != b[0] ? a[0] < b[0] : a[1] < b[1];
  });
  for (int e = 0; e < count; ++e) std::memcpy(begin + width * e, points[static_cast<size_t>(e)].data(), static_cast<size_t>(width));
}

// Step 4: the points per frequency, in the order of the header.
void write_point_list(FILE* out, const uint8_t* table, int kv, int threshold) {
  const UniformityTableState& u = maintenance_state().uniformity;
  const UniformityCreation& uc = diagnostics_state().uniformity_creation;
  const int width = entry_bytes(u.format);
  std::fputs("\n\n", out);
  std::fprintf(out, "FW KernelVer,%d\n", kv);
  std::fprintf(out, "Threshold,%d\n", threshold);
  std::fputs(u.format.gen_new ? ",,Index,TxCh,RxCh,Offset\n" : ",,Index,RxCh,TxCh,Offset\n", out);
  for (int f = 0; f < uc.frequency_count; ++f) {
    const int count = section_word(table, f) & uc.count_mask;
    std::fprintf(out, "FreqIndex,%d\nValidCount,%d\n", f, count);
    const uint8_t* begin = table + kPointsStart + width * first_index(table, f);
    for (int e = 0; e < count && begin + width * (e + 1) <= table + kUniformityWorkBytes; ++e) {
      const uint8_t* p = begin + width * e;
      const int offset = u.format.wide ? static_cast<int16_t>(read_le16(p + 2)) : static_cast<int8_t>(p[2]);
      std::fprintf(out, ",,[%02d],%d,%d,%d\n", e, u.format.gen_new ? p[0] : p[1], u.format.gen_new ? p[1] : p[0],
                   offset);
    }
  }
}

// The plain table: 20 slots of 301 bytes, each a count and 100 entries.
std::vector<uint8_t> plain_table(const uint8_t* image, uint16_t mask) {
  std::vector<uint8_t> plain(kPlainTableBytes, 0);
  // The 3-byte points of the work area, at most 100 a section.
  plain[4] = image[4];
  for (int f = 0; f < kUniformityFrequencies; ++f) {
    const int count = std::min(section_word(image, f) & mask, kPlainSlotEntries);
    const uint8_t* from = image + kPointsStart + 3 * first_index(image, f);
    plain[static_cast<size_t>(5 + kPlainSlot * f)] = static_cast<uint8_t>(count);
    if (from + 3 * count > image + kUniformityWorkBytes) continue;
    std::memcpy(plain.data() + 6 + kPlainSlot * f, from, static_cast<size_t>(3 * count));
  }
  return plain;
}

// Step 6's write: the table in the controller's format, its length and
// checksum set, to block 2 with commit. True when every byte went.
bool write_table(uint8_t* image, int threshold) {
  UniformityTableState& u = maintenance_state().uniformity;
  std::vector<uint8_t> table;
  if (u.format.compact && u.compact_info) {
    const uint32_t size = u.compact_info->size;
    table.assign(u.compact_info->data.get(), u.compact_info->data.get() + size);
  } else {
    image[4] = static_cast<uint8_t>(threshold);
    if (u.format.indexed || u.format.wide) {  // a directory of sections
      table.assign(image, image + u.size);
    } else {
      table = plain_table(image, diagnostics_state().uniformity_creation.count_mask);
    }
    const int size = static_cast<int>(table.size());
    write_le16(table.data(), static_cast<uint16_t>(size));
    write_le16(table.data() + 2, static_cast<uint16_t>(uniformity_checksum(table.data(), size, uniformity_checksum_seed(u.format))));
  }
  const int size = static_cast<int>(table.size());
  select_parameter_area(0, 0, kWriteArea);
  return write_parameter_block(kUniformityBlock, 0, size, table.data(), 1) == size;
}

}  // namespace

double uniformity_frequency_hz(int p, int q, int r) {
  const int base = 72000 / (p + 4);
  const int divisor = (q & 0x7F) * (r & 7);
  if (divisor == 0) return std::numeric_limits<double>::infinity();
  return static_cast<double>(base) / divisor / 2;
}

int add_uniformity_point(uint8_t* table, int rx, int tx, int offset, int frequency, int* index) {
  const UniformityTableState& u = maintenance_state().uniformity;
  const UniformityCreation& uc = diagnostics_state().uniformity_creation;
  if (frequency < 0 || frequency >= kUniformityFrequencies || *index < 0) return 1;
  const int width = entry_bytes(u.format);
  const uint16_t word = section_word(table, frequency);
  const int count = word & uc.count_mask;
  const long end = kPointsStart + static_cast<long>(width) * (*index + 1);
  const int limit = u.format.indexed ? uc.size_limit : kUniformityWorkBytes;
  if (end > limit || end > kUniformityWorkBytes || count >= uc.count_mask) return 1;
  if (!u.format.indexed && count > kPlainSlotEntries - 1) return 1;

  uint8_t* point = table + kPointsStart + width * *index;
  point[0] = static_cast<uint8_t>(tx);
  point[1] = static_cast<uint8_t>(rx);
  const int bound = u.format.wide ? 32767 : 127;
  const int stored = std::clamp(offset, -bound, bound);
  if (u.format.wide) {
    write_le16(point + 2, static_cast<uint16_t>(stored));
  } else {
    point[2] = static_cast<uint8_t>(static_cast<int8_t>(stored));
  }
  ++*index;
  write_le16(table + 6 + 4 * frequency, static_cast<uint16_t>((word & ~uc.count_mask) | ((count + 1) & uc.count_mask)));
  return stored != offset ? 2 : 0;
}

int build_uniformity_points(int kv, int threshold) {
  UniformityCreation& uc = diagnostics_state().uniformity_creation;
  const UniformityTableState& u = maintenance_state().uniformity;
  const int tx_total = uc.tx_total, rx_total = uc.rx_total, frequencies = uc.frequency_count;
  SharedLogFile log(kMainLog, "a+");
  FILE* out = log.stream();
  if (frequencies < 0 || frequencies > kMaxUniformityFrequencies || tx_total < 1 || rx_total < 1) return 0;
  const size_t cells = static_cast<size_t>(rx_total) * static_cast<size_t>(tx_total);
  std::unique_ptr<int32_t[]> sums(new (std::nothrow) int32_t[cells * static_cast<size_t>(frequencies) + 1]);
  if (!sums) {
    out_puts("1-malloc memory fail!");
    return -1;
  }
  std::memset(sums.get(), 0, sizeof(int32_t) * (cells * static_cast<size_t>(frequencies) + 1));
  auto sum = [&](int f, int t, int r) -> int32_t& { return sums[cells * static_cast<size_t>(f) + static_cast<size_t>(t * rx_total + r)]; };

  for (const auto& buffer : uc.nodes) {
    if (!buffer) continue;
    int16_t* nodes = buffer.get();
    const int f = nodes[0];
    for (int t = 0; t + 1 < tx_total; ++t) {
      for (int r = 0; r < rx_total; ++r) {
        int16_t& node = nodes[1 + t * rx_total + r];
        node = static_cast<int16_t>(nodes[1 + (t + 1) * rx_total + r] - node);
        if (f >= 0 && f < frequencies) sum(f, t, r) += node;
      }
    }
  }

  auto image = std::make_unique<uint8_t[]>(kUniformityWorkBytes);
  std::memset(image.get(), 0, kUniformityWorkBytes);
  uint8_t* table = image.get();
  const int code = maintenance_state().model_code;
  int errors = 0;
  int index = 0;
  for (int f = 0; f < frequencies; ++f) {
    const int record = kFrequencyRecords + kFrequencyRecordBytes * f;
    const double hz = uniformity_frequency_hz(image_byte(code, record + kClockSourceByte),
                                              image_byte(code, record + kPrescalerByte),
                                              image_byte(code, record + kDividerByte));
    if (out != nullptr) std::fprintf(out, "\n\n######,FreqIndex,%d,%.3fHz\n", f, hz);
    if (f > 0) write_le16(table + 8 + 4 * f, static_cast<uint16_t>(first_index(table, f - 1) + (section_word(table, f - 1) & uc.count_mask)));
    if (u.format.wide && uc.count_mask == 0x0FFF) write_le16(table + 6 + 4 * f, static_cast<uint16_t>(section_word(table, f) | kWideBit));
    for (int r = 0; r + 1 < rx_total; ++r) {
      if (out != nullptr) std::fprintf(out, "Rx[ %02d ],", r);
      for (int t = 0; t + 1 < tx_total; ++t) {
        const int value = sum(f, t, r);
        const bool point = std::abs(value) > threshold && !skipped_by_pattern(t, r, tx_total, rx_total);
        if (out != nullptr) std::fprintf(out, point ? "**%d," : "%d,", value);
        if (point && errors == 0) {
          const int added = add_uniformity_point(table, r, t, value, f, &index);
          if (added == 1) errors |= kTooManyPoints;
          if (added == 2) errors |= kOffsetOverflow;
        }
      }
      if (out != nullptr) std::fputs("\n", out);
    }
    if (out != nullptr) {
      std::fputs(",", out);
      for (int t = 0; t + 1 < tx_total; ++t) std::fprintf(out, "Tx[ %02d ],", t);
    }
    if (u.format.gen_new) sort_section(table, f, u.format, uc.count_mask);
  }

  if (errors == 0 && out != nullptr) write_point_list(out, table, kv, threshold);
  if (errors == 0 && u.format.compact && u.compact_info) {
    if (build_compact_uniformity_table(u.compact_info.get(), table, kUniformityWorkBytes, threshold) != 0) {
      errors |= kTooManyPoints;
    }
  }
  int result = 0;
  if ((errors & kTooManyPoints) != 0) {
    if (out != nullptr) std::fputs("Create Uniformity Table fail!!(Point is too much),", out);
  } else if ((errors & kOffsetOverflow) != 0) {
    if (out != nullptr) std::fputs("Create System Offset Map Fail!!(Offset Overflow),", out);
  } else {
    result = write_table(table, threshold) ? 1 : 0;
  }
  return result;
}

int create_uniformity_table(int, int, int kv, int threshold) {
  UniformityCreation& uc = diagnostics_state().uniformity_creation;
  uc.frequency_count = 0;
  CreationBuffers buffers;
  select_parameter_area(0, 0, kDataOff);
  sleep_ms(kSettleMs);
  int result = 0;
  {
    SharedLogFile log(kMainLog, "a+");
    FILE* out = log.stream();
    uint8_t status[4] = {};
    read_status_code(status);
    if (out != nullptr) {
      std::fprintf(out, "\r\nKernel Version:,%d\r\n", kv);
      std::fprintf(out, "Status Code:,0x%08X\r\n", read_le32(status));
    }
    int extra = diagnostics_state().frame.extra_lines;
    if (!prepare_format(kv, &threshold, &extra) || !read_sizes(extra)) {
      result = -1;
    }
    const int most = maintenance_state().uniformity.format.compact ? kCompactFrequencies : kUniformityFrequencies;
    // No working frequency (an image never loaded) would write an empty
    // table over the controller's.
    if (uc.frequency_count < 1 || uc.frequency_count > most) result = -1;

    command_3f_5b(0);
    for (int f = 0; result == 0 && f < uc.frequency_count; ++f) result = capture_frequency(f, extra);
    select_parameter_area(0, 0, kStopDataWord);
    command_36_4f_echoed(0);
    command_3f_5b(1);
    if (out != nullptr) std::fputs(result != 0 ? "Get Image Data Fail\r\n" : "Get Image Data Done\r\n", out);
  }
  if (result == 0) result = build_uniformity_points(kv, threshold) == 1 ? 0 : -1;
  select_parameter_area(0, 0, kDataOff);
  return result;
}

}  // namespace tmode
