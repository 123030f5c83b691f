// The log path set and the frame and table records the diagnostics share:
// the sensor frame settings, the image frame buffer, the ImageTable, the
// TestRawTable and the touch-information block.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kLogSlots = 14;
inline constexpr int kLogPathSize = 512;

enum LogSlot : int {
  kMainLog = 0,
  kRawL2Log = 1,
  kCookL2Log = 2,
  kStrayL2Log = 3,
  kRawLog = 4,
  kTouchSignalLog = 5,
  kUniformityLog = 6,
  kCookLog = 7,
  kUniforTestLog = 8,
  kUniforCookLog = 9,
  kSatL2Log = 10,
  kSatLog = 11,
  kUTableLog = 12,  // written "w" by the uniformity-table export; all others "a+"
  kTouchInfoLog = 13,
};

// Every slot names "Log.csv" until set_log_file_prefix names the files.
struct LogPathSet {
  char slots[kLogSlots][kLogPathSize] = {"Log.csv", "Log.csv", "Log.csv", "Log.csv", "Log.csv",
                                         "Log.csv", "Log.csv", "Log.csv", "Log.csv", "Log.csv",
                                         "Log.csv", "Log.csv", "Log.csv", "Log.csv"};
};

// The table sizes every frame and table record is bounded by.
inline constexpr int kTableLines = 132;  // Tx lines and the extra lines before them
inline constexpr int kTableColumns = 172;  // Rx channels

// How an image frame is laid out beyond the channel totals (rx_total and
// tx_total of the channel ranges).
struct FrameLayout {
  int32_t extra_lines = 2;  // line 0 the noise line, line 1 the water line when enabled
  // Frames carry the water line as line 1. Off until an application sets
  // it (set_water_line_enabled): the parameter word that holds the
  // controller's water-line bit is not known to the library.
  bool water_line_enabled = false;
  int32_t raw_scaling = 100;  // a percentage applied to raw values where a test says so
};

// rx_total x (tx_total + extra_lines) 16-bit values, line-major: value
// (line L, Rx r) at L x rx_count + r. Allocated and freed by the captures.
struct ImageFrameBuffer {
  int16_t* values = nullptr;
  int32_t rx_count = 0;
  int32_t line_count = 0;
};

// True when a frame of these totals fits the 132 x 172 tables: at most 172
// Rx channels, at most 132 lines with the extra lines, nothing negative.
bool frame_fits_tables(int rx_total, int tx_total, int extra_lines);

// The processed frame (line L, Rx r) at [L][r]; cleared before each frame.
struct ImageTable {
  int16_t values[kTableLines][kTableColumns];
};

// The sensor tests' raw table: (Tx t, Rx r) at [t][r].
struct TestRawTable {
  int16_t values[kTableLines][kTableColumns];
};

// A '?','h' touch-information reply from its byte 4 on.
struct TouchInfoBlock {
  uint8_t bytes[60];
};

inline int touch_info_frequency_index(const TouchInfoBlock& b) { return b.bytes[0]; }
inline int touch_info_stray_confidence(const TouchInfoBlock& b) { return b.bytes[1]; }
inline int touch_info_touch_count(const TouchInfoBlock& b) { return b.bytes[3]; }
inline int touch_info_water_present(const TouchInfoBlock& b) { return b.bytes[4]; }
inline int touch_info_noise_condition(const TouchInfoBlock& b) { return b.bytes[5]; }
inline int touch_info_palm(const TouchInfoBlock& b) { return b.bytes[6]; }
inline int touch_info_idle(const TouchInfoBlock& b) { return b.bytes[12]; }
inline int touch_info_max_noise(const TouchInfoBlock& b) {
  return static_cast<int16_t>(b.bytes[15] | b.bytes[16] << 8);
}
inline int touch_info_max_noise_channel(const TouchInfoBlock& b) { return b.bytes[17]; }
inline int touch_info_water_level(const TouchInfoBlock& b) {
  return static_cast<int16_t>(b.bytes[21] | b.bytes[22] << 8);
}

}  // namespace tmode
