#include "diagnostics/image_capture.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "diagnostics/data_words.h"
#include "diagnostics/diagnostics_state.h"
#include "diagnostics/frame_processing.h"
#include "diagnostics/log_stream.h"
#include "diagnostics/touch_info_reply.h"
#include "diagnostics/uniformity_table.h"
#include "link/handler_registration.h"
#include "link/output_sink.h"
#include "link/reply_wait.h"
#include "maintenance/byte_order.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "protocol/controller_commands.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

constexpr int kValuesPerReport = 29;
constexpr int kFrameWaitChecks = 50;
constexpr int kWaitStepMs = 100;
constexpr int kTouchInfoMs = 1000;
constexpr int kAnySubKey = 0xFFFF;

struct RecordType {
  int code;
  LogSlot slot;
  const char* data_type;
  bool singular_count;  // "Log Count" instead of "Log Counts"
  uint16_t word;
  int saturation_mode;  // -1: not a saturation code
  const char* data_mode;
};

constexpr RecordType kRecordTypes[] = {
    {0, kRawL2Log, "Data Type:,RawL2\r\n", false, 0x4000, -1, nullptr},
    {1, kCookL2Log, "Data Type:,CookL2\r\n", true, 0x4001, -1, nullptr},
    {2, kStrayL2Log, "Data Type:,StrayL2\r\n", false, 0x4002, -1, nullptr},
    {3, kRawLog, "Data Type:,Raw\r\n", false, 0x4004, -1, nullptr},
    {4, kTouchSignalLog, "Data Type:,TouchSignal\r\n", false, 0x4001, -1, nullptr},
    {5, kUniformityLog, "Data Type:,Uniformity\r\n", false, 0x4000, -1, nullptr},
    {6, kCookLog, "Data Type:,Cook\r\n", false, 0x4008, -1, nullptr},
    {9, kUniforTestLog, "Data Type:,Unifor_Test\r\n", false, 0x4000, -1, nullptr},
    {10, kUniforCookLog, "Data Type:,Unifor_Cook\r\n", false, 0x4000, -1, nullptr},
    {11, kTouchInfoLog, "Data Type:,Touch Info\r\n", false, 0, -1, nullptr},
    {112, kSatL2Log, "Data Type:,Saturation\r\n", false, 0x4010, 0, "Data Mode:,ABS\r\n"},
    {113, kSatL2Log, "Data Type:,Saturation\r\n", false, 0x4010, 1, "Data Mode:,MAX\r\n"},
    {114, kSatL2Log, "Data Type:,Saturation\r\n", false, 0x4010, 2, "Data Mode:,MIN\r\n"},
    {128, kSatLog, "Data Type:,Saturation Single,ABS\r\n", false, 0x4020, 0, "Data Mode:,ABS\r\n"},
    {129, kSatLog, "Data Type:,Saturation Single,MAX\r\n", false, 0x4020, 1, "Data Mode:,MAX\r\n"},
    {130, kSatLog, "Data Type:,Saturation Single,MIN\r\n", false, 0x4020, 2, "Data Mode:,MIN\r\n"},
};

const RecordType* record_type(int code) {
  for (const RecordType& t : kRecordTypes) {
    if (t.code == code) return &t;
  }
  return nullptr;
}

bool saturation_code(int code) { return (code >= 112 && code <= 114) || (code >= 128 && code <= 130); }

// The frame's line, first Rx and value count, when the report's values lie
// inside the frame and the report itself; else false (the report is dropped).
struct ImageReport {
  int line;
  int first;
  int count;
};

bool parse_image_report(int size, const uint8_t* report, const ImageFrameBuffer& frame, ImageReport* out) {
  if (size < 5 || report[2] != 'J') return false;
  const int length = report[1];
  if (length < 4) return false;
  const int count = (length - 3) / 2;
  if (5 + 2 * count > size) return false;
  const int line = report[3];
  const int first = report[4];
  if (line >= frame.line_count || first + count > frame.rx_count) return false;
  *out = {line, first, count};
  return true;
}

int16_t report_value(const uint8_t* report, int i) {
  return static_cast<int16_t>(read_le16(report + 5 + 2 * i));
}

// Reader thread: one 'J' report into the single-shot buffer, or the back
// buffer while streaming.
void image_report_handler(int, int size, const uint8_t* report) {
  CaptureState& c = diagnostics_state().capture;
  OwnedFrame& target = c.continuous ? c.back : c.single;
  if (!target.storage || c.frame_done.load(std::memory_order_acquire)) return;
  ImageReport r{};
  if (!parse_image_report(size, report, target.frame, &r)) return;
  if (c.wait_frame_start) {
    if (r.line != 0 || r.first != 0) return;
    c.wait_frame_start = false;
  }
  int16_t* row = target.frame.values + r.line * target.frame.rx_count;
  for (int i = 0; i < r.count; ++i) row[r.first + i] = report_value(report, i);
  ++c.packet_counter;

  if (r.line != c.lines - 1 || r.first + r.count != c.rx_total) return;
  if (c.packet_counter != (r.line + 1) * c.packets_per_line && c.retries_left >= 1) {
    --c.retries_left;
    c.packet_counter = 0;
    if (c.continuous) c.frames_retried.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (c.continuous) {
    {
      std::lock_guard lock(c.buffer_mutex);
      std::swap(c.front, c.back);
      if (!c.frame_processed) c.frames_unseen.fetch_add(1, std::memory_order_relaxed);
      c.frame_processed = false;
    }
    c.frame_swapped.notify_one();
    c.frames_completed.fetch_add(1, std::memory_order_relaxed);
    c.retries_left = 3;
    c.packet_counter = 0;
    c.wait_frame_start = true;
    return;
  }
  c.frame_done.store(true, std::memory_order_release);
}

// Reader thread: saturation pairs (A, B) stored by the data mode.
void saturation_report_handler(int, int size, const uint8_t* report) {
  CaptureState& c = diagnostics_state().capture;
  OwnedFrame& target = c.single;
  if (!target.storage || c.frame_done.load(std::memory_order_acquire)) return;
  ImageReport r{};
  if (!parse_image_report(size, report, target.frame, &r)) return;
  int16_t* row = target.frame.values + r.line * target.frame.rx_count;
  for (int i = 0; i < r.count; ++i) {
    const int a = static_cast<int8_t>(report[5 + 2 * i]);
    const int b = static_cast<int8_t>(report[6 + 2 * i]);
    int v = (b < 0 ? -b : b) + (a < 0 ? -a : a);
    v = c.saturation_mode == 1 ? b : c.saturation_mode == 2 ? a : v >> 1;
    row[r.first + i] = static_cast<int16_t>(v);
  }
  if (r.line == c.saturation_lines - 1 && r.first + r.count == c.rx_total) {
    c.frame_done.store(true, std::memory_order_release);
  }
}

// Reader thread: a '?','h' reply into the touch-information block.
void touch_info_handler(int, int size, const uint8_t* report) {
  if (!take_touch_info(size, report, &diagnostics_state().touch_info)) return;
  diagnostics_state().capture.frame_done.store(true, std::memory_order_release);
}

// The frame extent of the sensor, when the tables can hold it.
bool frame_extent(int* rx, int* lines) {
  const int r = protocol_state().ranges.rx_total;
  const int t = protocol_state().ranges.tx_total;
  const int extra = diagnostics_state().frame.extra_lines;
  if (!frame_fits_tables(r, t, extra) || r < 1) return false;
  *rx = r;
  *lines = t + extra;
  return true;
}

void write_touch_info(FILE* out) {
  std::fputs("Touch Info:\r\n", out);
  if (!diagnostics_state().capture.frame_done.load()) {
    std::fputs("Get Touch Info Error!!\r\n", out);
    return;
  }
  const TouchInfoBlock& b = diagnostics_state().touch_info;
  std::fprintf(out, ",FreqIndex:,,%03d\r\n", touch_info_frequency_index(b));
  std::fprintf(out, ",NumsOfTouches:,,%03d\r\n", touch_info_touch_count(b));
  std::fprintf(out, ",StrayConfidence:,,%d\r\n", touch_info_stray_confidence(b));
  std::fprintf(out, ",IsWaterExist:,,%03d\r\n", touch_info_water_present(b));
  std::fprintf(out, ",NoiseCondition:,,%03d\r\n", touch_info_noise_condition(b));
  std::fprintf(out, ",IsPalm:,,%03d\r\n", touch_info_palm(b));
  std::fprintf(out, ",Is_Idle:,,%d\r\n", touch_info_idle(b));
  std::fprintf(out, ",MaxNoise:,,%05d\r\n", touch_info_max_noise(b));
  std::fprintf(out, ",MaxNoiseCh:,,%03d\r\n", touch_info_max_noise_channel(b));
  std::fprintf(out, ",Water:,,%05d\r\n", touch_info_water_level(b));
}

void wait_frame_done() {
  for (int i = 0; i < kFrameWaitChecks; ++i) {
    if (diagnostics_state().capture.frame_done.load(std::memory_order_acquire)) return;
    sleep_ms(kWaitStepMs);
  }
}

// Ends the data stream when the scope ends, on every path.
struct StreamStop {
  ~StreamStop() { select_parameter_area(0, 0, kStopDataWord); }
};

// Steps 6 to 9 of a record, with the file open and the 'J' handler
// registered. False when the record ends early (the uniformity table could
// not be read).
bool write_record(FILE* out, const RecordType& type, HandlerRegistration& frame_handler, const std::tm& now,
                  int freq_index, uint32_t status) {
  CaptureState& c = diagnostics_state().capture;
  std::fprintf(out, "Date:,%04d/%02d/%02d\r\n", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
  std::fprintf(out, "Time:,%02d:%02d:%02d\r\n", now.tm_hour, now.tm_min, now.tm_sec);
  std::fprintf(out, "Freqency Index:,%d\r\n", freq_index);
  std::fprintf(out, "Error Code:,0x%08X\r\n", status);
  const uint32_t count = ++c.log_counters[type.code];
  std::fputs(type.data_type, out);
  std::fprintf(out, type.singular_count ? "Log Count:,%u\r\n" : "Log Counts:,%u\r\n", count);
  if (type.data_mode != nullptr) std::fputs(type.data_mode, out);
  if (type.code != 11) std::fputs("Image Data Start\r\n", out);
  if (type.code == 10 && load_uniformity_table(0, 0) != 0) return false;

  if (type.code == 11) {
    frame_handler.remove();
    HandlerRegistration touch('?', 'h', touch_info_handler);
    select_parameter_area(0, 0, 0);
    set_touch_info(1);
    sleep_ms(kTouchInfoMs);
    set_touch_info(0);
    touch.remove();
    write_touch_info(out);
    return true;
  }
  {
    StreamStop stop;
    select_parameter_area(0, 0, type.word);
    wait_frame_done();
  }
  frame_handler.remove();
  process_frame(type.code, c.single.frame, c.lines, &diagnostics_state().image_table);
  write_image_table(out, diagnostics_state().image_table, c.lines);
  return true;
}

}  // namespace

void OwnedFrame::allocate(int rx, int lines) {
  storage = std::make_unique<int16_t[]>(static_cast<size_t>(rx) * static_cast<size_t>(lines));
  frame = {storage.get(), rx, lines};
  clear();
}

void OwnedFrame::clear() {
  if (storage) std::memset(storage.get(), 0, sizeof(int16_t) * static_cast<size_t>(frame.rx_count * frame.line_count));
}

void OwnedFrame::release() {
  storage.reset();
  frame = {};
}

int reset_image_capture(int, int) {
  CaptureState& c = diagnostics_state().capture;
  c.frame_processed = false;
  c.retries_left = 3;
  c.packet_counter = 0;
  c.packets_per_line = 1;
  ValueRecord5 size{};
  const int result = read_sensor_size(0, 0, &size);
  const int rx = protocol_state().ranges.rx_total;
  for (int beyond = rx - kValuesPerReport; beyond > 0; beyond -= kValuesPerReport) ++c.packets_per_line;
  c.rx_total = rx;
  c.lines = protocol_state().ranges.tx_total + diagnostics_state().frame.extra_lines;
  c.saturation_lines = protocol_state().ranges.tx_total;
  c.wait_frame_start = true;
  c.frame_done.store(false);
  return result;
}

void set_water_line_enabled(int, int, int enabled) { diagnostics_state().frame.water_line_enabled = enabled != 0; }

void alloc_image_buffer(int, int) {
  reset_image_capture(0, 0);
  int rx = 0, lines = 0;
  if (!frame_extent(&rx, &lines)) return;
  if (!diagnostics_state().capture.single.holds(rx, lines)) diagnostics_state().capture.single.allocate(rx, lines);
}

void free_image_buffer(int, int) { diagnostics_state().capture.single.release(); }

int capture_image_record(int, int, int code) {
  CaptureState& c = diagnostics_state().capture;
  select_parameter_area(0, 0, kStopDataWord);
  reset_image_capture(0, 0);
  uint8_t freq_index = 0;
  uint8_t status[4] = {};
  read_freq_index(&freq_index);
  read_status_code(status);
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_r(&seconds, &now);

  if (!c.single.storage) {
    out_puts("malloc fail");
    return 0;
  }
  // A sensor that grew since the buffer was allocated gets a buffer of its
  // size; one the tables cannot hold gets no record.
  int rx = 0, lines = 0;
  if (!frame_extent(&rx, &lines)) return 0;
  if (!c.single.holds(rx, lines)) c.single.allocate(rx, lines);
  c.single.clear();
  std::memset(&diagnostics_state().image_table, 0, sizeof diagnostics_state().image_table);

  const RecordType* type = record_type(code);
  if (type != nullptr && type->saturation_mode >= 0) c.saturation_mode = type->saturation_mode;
  HandlerRegistration frame_handler('J', kAnySubKey,
                                    saturation_code(code) ? saturation_report_handler : image_report_handler);
  const bool model_has_saturation_l2 = maintenance_state().model_code == 24 || maintenance_state().model_code == 28;
  if (type == nullptr || (code >= 112 && code <= 114 && !model_has_saturation_l2)) return 0;
  SharedLogFile log(type->slot, "a+");
  if (!log) return 0;
  write_record(log.stream(), *type, frame_handler, now, freq_index, read_le32(status));
  std::fputs("\r\n\r\n", log.stream());
  return 0;
}

int start_image_stream(int, int) {
  CaptureState& c = diagnostics_state().capture;
  reset_image_capture(0, 0);
  int rx = 0, lines = 0;
  if (!frame_extent(&rx, &lines)) return -1;
  {
    std::lock_guard lock(c.buffer_mutex);
    if (!c.front.holds(rx, lines)) c.front.allocate(rx, lines);
    c.front.clear();
    c.frame_processed = true;  // nothing captured yet
  }
  c.frames_completed = 0;
  c.frames_unseen = 0;
  c.frames_retried = 0;
  c.frames_processed = 0;
  if (!c.back.holds(rx, lines)) c.back.allocate(rx, lines);
  c.back.clear();
  c.continuous = true;
  if (register_report_handler('J', kAnySubKey, image_report_handler) != 0) {
    c.continuous = false;
    return -1;
  }
  return 0;
}

int stop_image_stream(int, int) {
  CaptureState& c = diagnostics_state().capture;
  // Returns once no callback is running: the buffers are free to go.
  unregister_report_handler('J', kAnySubKey);
  c.continuous = false;
  std::lock_guard lock(c.buffer_mutex);
  c.front.release();
  c.back.release();
  return 0;
}

int get_image_frame(int, int, int code, uint8_t* destination) {
  CaptureState& c = diagnostics_state().capture;
  int processed = 0;
  {
    std::lock_guard lock(c.buffer_mutex);
    if (!c.frame_processed && c.front.storage) {
      std::memset(&diagnostics_state().image_table, 0, sizeof diagnostics_state().image_table);
      process_frame(code, c.front.frame, c.lines, &diagnostics_state().image_table);
      c.frame_processed = true;
      c.frames_processed.fetch_add(1, std::memory_order_relaxed);
      processed = 1;
    }
  }
  std::memcpy(destination, &diagnostics_state().image_table, kImageTableBytes);
  return processed;
}

int wait_image_frame(int, int, int timeout_ms) {
  CaptureState& c = diagnostics_state().capture;
  std::unique_lock lock(c.buffer_mutex);
  if (!c.continuous || !c.front.storage) return 0;
  return c.frame_swapped.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                                  [&] { return !c.frame_processed; })
             ? 1
             : 0;
}

int start_touch_info(int, int) {
  diagnostics_state().capture.frame_done.store(false);
  register_report_handler('?', 'h', touch_info_handler);
  set_touch_info(1);
  return 0;
}

int stop_touch_info(int, int) {
  set_touch_info(0);
  unregister_report_handler('?', 'h');
  return 0;
}

}  // namespace tmode
