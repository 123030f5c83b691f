// What the image captures keep between the caller's thread and the report
// handlers on the reader thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "diagnostics/log_records.h"

namespace tmode {

inline constexpr int kImageDataCodes = 131;  // codes 0 to 130

// A frame buffer with its storage.
struct OwnedFrame {
  std::unique_ptr<int16_t[]> storage;
  ImageFrameBuffer frame;  // points into storage

  bool holds(int rx, int lines) const { return storage && frame.rx_count == rx && frame.line_count >= lines; }
  void allocate(int rx, int lines);
  void clear();
  void release();
};

struct CaptureState {
  // Set by the handlers (reader thread); polled and cleared by the caller
  // while no handler is registered.
  std::atomic<bool> frame_done{false};
  // The frame assembly: the reader thread's while a 'J' handler is
  // registered, the caller's (reset_image_capture) otherwise.
  uint16_t packet_counter = 0;
  uint16_t packets_per_line = 1;
  uint16_t retries_left = 3;
  bool wait_frame_start = true;
  // The frame's extent, fixed by the caller before a handler is registered.
  int32_t rx_total = 0;
  int32_t lines = 0;  // tx_total + extra_lines
  int32_t saturation_lines = 0;  // tx_total
  int saturation_mode = 0;  // 0 ABS, 1 MAX, 2 MIN
  // Caller's thread only.
  uint32_t log_counters[kImageDataCodes] = {};
  bool multiply_mode = false;  // the uniformity-test gain multiplies
  // The single-shot buffer: the 'J' handler writes it while registered, the
  // caller allocates, clears and reads it while not.
  OwnedFrame single;

  // Continuous capture. `continuous` is written by the caller while no
  // handler is registered. The handler writes the back buffer and swaps it
  // with the front under `buffer_mutex`; the caller processes the front
  // buffer under the same mutex, so the two never touch one buffer at once.
  bool continuous = false;
  std::mutex buffer_mutex;
  OwnedFrame front;  // guarded by buffer_mutex
  OwnedFrame back;   // the reader thread's while streaming
  bool frame_processed = false;  // guarded by buffer_mutex
  // Notified by the reader thread after each swap; the caller waits on it
  // with buffer_mutex.
  std::condition_variable frame_swapped;

  // What a continuous capture made of the stream since it started: written
  // by the reader thread (frames_processed by the caller), read by anyone.
  std::atomic<uint32_t> frames_completed{0};  // swapped into the front buffer
  std::atomic<uint32_t> frames_unseen{0};     // replaced before get_image_frame processed them
  std::atomic<uint32_t> frames_retried{0};    // ended short of reports and collected again
  std::atomic<uint32_t> frames_processed{0};  // processed by get_image_frame
};

}  // namespace tmode
