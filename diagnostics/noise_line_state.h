// What the noise line test collects from the controller's touch
// information.
#pragma once

#include <atomic>
#include <cstdint>

namespace tmode {

inline constexpr int kNoiseListSize = 22704;

struct NoiseLineState {
  // Written by the reader thread's '?','h' handler, entries below
  // `collected` only; the caller reads them once the handler is removed.
  int16_t list[kNoiseListSize];
  std::atomic<int32_t> collected{0};  // reader thread; the caller reads it
  std::atomic<bool> done{false};      // reader thread sets it; the caller polls it
  int32_t target = 0;                 // caller thread, set before the handler is registered
  // The noise part of the mutual-capacitance verdict (caller thread).
  bool noise_failed = false;
};

}  // namespace tmode
