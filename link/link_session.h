// The link's one process-wide session record: descriptors, the reader
// thread, the reply hand-over and the report handler table.
//
// Thread ownership, field by field:
//   caller  = the application's thread that runs library operations
//   reader  = the link's reader thread
#pragma once

#include <pthread.h>
#include <time.h>

#include <cstdint>
#include <mutex>

#include "link/report_types.h"

namespace tmode {

inline constexpr int kReportBufferSize = 65;  // a report and its terminating zero
inline constexpr int kDevicePathSize = 512;
inline constexpr int kAccumulationSize = 1024;

struct ReportHandler {
  uint8_t use_count;  // 0 = free
  uint16_t class_key;
  uint16_t sub_key;  // 0xFFFF matches any sub byte
  ReportCallback callback;
};

// What the last read returned, consumed report by report.
struct ReportStaging {
  uint8_t bytes[kReportSize];
  uint8_t index;
  uint8_t count;
  bool stream_ended;  // the last read returned 0 or failed for good
};

struct LinkSession {
  // caller writes (open/close); reader reads read_fd and fd_is_socket.
  int read_fd = -1;
  int write_fd = -1;
  bool fd_is_socket = false;  // the descriptor now open is the daemon socket
  uint8_t socket_mode = 0;    // set once the link fell back to the socket; never cleared
  char device_path[kDevicePathSize] = {};
  uint32_t device_count = 0;

  // caller only.
  pthread_t reader{};
  uint8_t reader_running = 0;
  int wake_fd = -1;  // eventfd in the reader's wait set; a write stops it
  uint8_t tx_report[kReportSize] = {};

  // Reply hand-over. Everything below up to the handler table is guarded by
  // reply_mutex (initialised once, see reply_wait.cpp).
  pthread_mutex_t reply_mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t reply_cond{};
  uint8_t reply_pending = 0;   // a handed-over reply nobody consumed yet
  uint8_t reply_waiters = 0;   // callers inside a wait
  bool reply_offered = false;  // a reply posted with nobody waiting ...
  timespec offer_expiry{};     // ... that a waiter arriving before this takes
  uint8_t reply_report[kReportSize] = {};  // written by reader, read by caller

  // reader only.
  uint8_t rx_report[kReportBufferSize] = {};
  ReportStaging staging{};

  // Handler table; the reader holds handler_mutex while it looks an entry up
  // and runs its callback, so unregistering waits for a running callback.
  std::recursive_mutex handler_mutex;
  ReportHandler handlers[kHandlerSlots] = {};

  // count_buffered_reports (caller only, no reader running).
  uint8_t accumulation[kAccumulationSize] = {};
  int accumulated = 0;
};

// The process-wide session, the link's part of the library state.
LinkSession& link_session();

}  // namespace tmode
