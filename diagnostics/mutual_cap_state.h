// What the mutual-capacitance tests and the sensor-test driver keep in the
// library state: the L2Table, the raw fetch's collection, the node buffer
// of sensor tests 3 and 4, the L2 test's frame buffer and the verdict flags.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "diagnostics/log_records.h"
#include "diagnostics/sensor_test_tables.h"

namespace tmode {

// The saturation L2 table: (Tx t, Rx r) at [t][r].
struct L2Table {
  int16_t values[kTableLines][kTableColumns];
};

// One staging line of the node reports of models 10 to 13: RX x 2 bytes.
inline constexpr int kStagingLineBytes = 2 * kTableColumns;

// fetch_test_raw: the caller sets the table, the sizes and the counts before
// it registers the handlers; the reader thread's 'J' and '?','S' handlers
// write the table, the staging lines and the counters while registered and
// set done last; the caller reads them after removing the handlers.
struct RawFetch {
  int16_t (*table)[kTableColumns] = nullptr;
  uint8_t staging[kTableLines][kStagingLineBytes] = {};
  int32_t skip = 0;
  int32_t packets_per_line = 1;
  int32_t tx_total = 0;
  int32_t rx_total = 0;
  int32_t retries = 0;
  int32_t packets = 0;
  std::atomic<bool> done{false};
};

// l2_mutual_cap_test: the caller sets everything but the counters before it
// registers the 'J' handler; the reader thread fills the frame buffer and
// the counters while registered and sets done last.
struct L2Collect {
  int16_t* values = nullptr;
  int32_t capacity = 0;  // entries of values
  int32_t rx_total = 0;
  int32_t last_line = 0;
  int32_t packets_per_line = 1;
  int32_t retries = 0;
  int32_t packets = 0;
  bool started = false;  // a report of line 0 or first Rx 0 has arrived
  std::atomic<bool> done{false};
};

// Sensor test 1: DATA-0 and DATA-N of every Tx and Rx channel (1360 bytes).
struct SensorTest1Block {
  int16_t tx_data0[kSensorTestChannels];
  int16_t tx_data_n[kSensorTestChannels];
  int16_t rx_data0[kSensorTestChannels];
  int16_t rx_data_n[kSensorTestChannels];
};
static_assert(sizeof(SensorTest1Block) == 1360);

// The frame buffer of the L2 test: rx_count x lines 16-bit values, line-major,
// allocated once and grown when a larger sensor needs more.
struct L2FrameBuffer {
  std::unique_ptr<int16_t[]> values;
  int32_t capacity = 0;  // entries
  int32_t rx_count = 0;
  int32_t line_count = 0;
};

struct MutualCapState {
  L2Table l2 = {};
  RawFetch fetch;
  L2FrameBuffer l2_frame;
  L2Collect l2_collect;
  // The sensor-test driver's collection. The reader thread's '?','S'
  // handlers write the blocks and the node buffer while registered (the
  // toggle and the node buffer pointer are set by the caller before), and
  // set done last; the caller judges them after removing the handler.
  SensorTest1Block test1 = {};
  uint8_t test1_toggle = 0;
  int16_t* nodes = nullptr;  // tx_total x rx_total + 1 entries, entry 0 the parameter P
  int32_t node_count = 0;
  int32_t node_rx_total = 0;
  bool node_values_16bit = false;  // node data as int16 (set) or signed bytes (clear)
  std::atomic<bool> done{false};
  // The common mutual-capacitance verdict (caller thread); the noise part is
  // the noise line test's.
  bool mutual_cap_failed = false;
  bool l2_failed = false;
};

}  // namespace tmode
