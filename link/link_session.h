// The link's one process-wide session record: descriptors, the reader
// thread, the reply hand-over and the report handler table.
//
// Thread ownership, field by field:
//   caller  = the application's thread that runs library operations
//   reader  = the link's reader thread
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/report_types.h"

namespace tmode {

inline constexpr int kReportBufferSize = 65;  // a report and its terminating zero
inline constexpr int kDevicePathSize = 512;
inline constexpr int kAccumulationSize = 1024;
inline constexpr int kReplyQueueSize = 8;  // replies a waiter has not taken yet

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
  // reply_mutex (initialised once, see reply_wait.cpp). Replies that arrive
  // while a command expects one, or while somebody waits, are queued in
  // arrival order and each is copied out to the caller inside the locked
  // section that takes it, so a report right behind a reply cannot replace
  // it. A reply nobody expects is offered for a short window and then stays
  // in reply_report unmarked.
  pthread_mutex_t reply_mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t reply_cond{};
  uint8_t reply_pending = 0;     // replies queued and not consumed yet (reader adds, caller takes)
  uint8_t reply_waiters = 0;     // callers inside a wait (caller)
  uint8_t reply_expected = 0;    // a command is between its first write and its end (caller)
  uint8_t reply_head = 0;        // oldest queued reply (caller advances)
  uint32_t replies_dropped = 0;  // queued replies pushed out by newer ones (reader)
  bool reply_offered = false;    // the queued reply was posted with nobody expecting it ...
  timespec offer_expiry{};       // ... and a waiter arriving before this still takes it
  uint8_t reply_arrival[kReportSize] = {};  // each reply laid over the one before (reader)
  uint8_t reply_queue[kReplyQueueSize][kReportSize] = {};  // (reader writes, caller reads)
  uint8_t reply_report[kReportSize] = {};  // the reply last taken, or posted unexpected (both)

  // The reader stopped on its own: the link is dead. Set under reply_mutex,
  // so no waiter misses it; atomic for lock-free readers such as
  // link_is_open (reader sets it, open_link clears it).
  std::atomic<bool> link_dead{false};

  // reader only.
  uint8_t rx_report[kReportBufferSize] = {};
  ReportStaging staging{};

  // Handler table; the reader holds handler_mutex while it looks an entry up
  // and runs its callback, so unregistering waits for a running callback.
  std::recursive_mutex handler_mutex;
  ReportHandler handlers[kHandlerSlots] = {};

  // Traffic figures for measurements: reports written whole and the time
  // the library slept on purpose (caller adds; atomics, read by anyone).
  std::atomic<uint64_t> reports_written{0};
  std::atomic<uint64_t> slept_us{0};

  // count_buffered_reports (caller only, no reader running).
  uint8_t accumulation[kAccumulationSize] = {};
  int accumulated = 0;
};

// The process-wide session, the link's part of the library state.
LinkSession& link_session();

}  // namespace tmode
