// The tables the open and short tests share with the reader thread's report
// handlers, kept in LibraryState.
#pragma once

#include <atomic>
#include <cstdint>

#include "diagnostics/log_records.h"

namespace tmode {

// read_tuner_frame: the reader thread's 'J' handler writes the staging
// table and then sets the ready flags, only while it is registered; the
// caller reads the table after the handler is removed.
struct TunerFrameCapture {
  int16_t staging[kTableLines][kTableColumns];
  std::atomic<bool> ready[2];
  bool raw_mode;  // every line L at row L (set by the caller)
  int32_t tx_total;  // set by the caller before registering
  int32_t rx_total;
};

// tuner_short_test: the '?','S' handler (reader thread) writes the bytes and
// sets done, while registered; the caller reads them after removing it.
struct ShortTestBytes {
  uint8_t tx_first[kTableLines];
  uint8_t tx_second[kTableLines];
  uint8_t rx_second[kTableColumns];
  uint8_t rx_first[kTableColumns];
  std::atomic<bool> done;
};

// The sensor-test generation's block (test 2 layout), 1360 bytes: Tx high
// and low bytes, Rx high and low bytes (170 each), then the combined Tx and
// Rx values.
inline constexpr int kSensorTestChannels = 170;
struct SensorTestBlock {
  uint8_t tx_high[kSensorTestChannels];
  uint8_t tx_low[kSensorTestChannels];
  uint8_t rx_high[kSensorTestChannels];
  uint8_t rx_low[kSensorTestChannels];
  int16_t tx_value[kSensorTestChannels];
  int16_t rx_value[kSensorTestChannels];
};
static_assert(sizeof(SensorTestBlock) == 1360);

}  // namespace tmode
