#pragma once
// A pinned clock for tests that compare log blocks and records byte for
// byte. While a FixedClock is alive, time() returns its seconds, clock()
// returns its ticks and local time is UTC; the whole process sees it, the
// library and the simulator included. A test binary that uses it links the
// tmode_fixed_clock object library, which defines time() and clock() in
// place of the C library's.
#include <cstdint>
#include <ctime>
#include <string>

namespace tmode::test {

class FixedClock {
 public:
  // Seconds since the epoch, read as UTC: 1767323045 is 2026-01-02 03:04:05.
  explicit FixedClock(int64_t seconds);
  ~FixedClock();
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;

  // clock() moves only when told: elapsed-time stamps read exactly.
  void advance_ms(int64_t ms);
  void set_seconds(int64_t seconds);

 private:
  bool had_tz_ = false;
  std::string saved_tz_;
};

}  // namespace tmode::test
