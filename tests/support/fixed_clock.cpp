#include "tests/support/fixed_clock.h"

#include <dlfcn.h>
#include <time.h>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<bool> pinned{false};
std::atomic<int64_t> pinned_seconds{0};
std::atomic<int64_t> pinned_ticks{0};

using Time = time_t (*)(time_t*);
using Clock = clock_t (*)();

// With a 64-bit time_t on a 32-bit target, the C library's headers name the
// 64-bit variant of time(), and the definition below is that one.
#if defined(__USE_TIME_BITS64) && __TIMESIZE == 32
constexpr const char* kTime = "__time64";
#else
constexpr const char* kTime = "time";
#endif

}  // namespace

extern "C" time_t time(time_t* out) noexcept {
  if (!pinned.load()) {
    static const auto real = reinterpret_cast<Time>(dlsym(RTLD_NEXT, kTime));
    return real(out);
  }
  const auto now = static_cast<time_t>(pinned_seconds.load());
  if (out != nullptr) *out = now;
  return now;
}

extern "C" clock_t clock() noexcept {
  if (!pinned.load()) {
    static const auto real = reinterpret_cast<Clock>(dlsym(RTLD_NEXT, "clock"));
    return real();
  }
  return static_cast<clock_t>(pinned_ticks.load());
}

namespace tmode::test {

FixedClock::FixedClock(int64_t seconds) {
  if (const char* tz = std::getenv("TZ")) {
    had_tz_ = true;
    saved_tz_ = tz;
  }
  setenv("TZ", "UTC0", 1);
  tzset();
  pinned_seconds = seconds;
  pinned_ticks = 0;
  pinned = true;
}

FixedClock::~FixedClock() {
  pinned = false;
  if (had_tz_) {
    setenv("TZ", saved_tz_.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

void FixedClock::advance_ms(int64_t ms) {
  pinned_ticks += ms * static_cast<int64_t>(CLOCKS_PER_SEC) / 1000;
}

void FixedClock::set_seconds(int64_t seconds) { pinned_seconds = seconds; }

}  // namespace tmode::test
