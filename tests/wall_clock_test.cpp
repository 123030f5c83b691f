// Waits measure time on the monotonic clock: a step of the wall clock (NTP
// setting the time at boot) neither cuts nor stretches them. The test steps
// the machine's clock by two seconds and back, so it runs alone (RUN_SERIAL)
// and only as root.
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "link/link.h"
#include "link/reply_wait.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::SimLinkTest;
using test::Stopwatch;

// Steps the wall clock while the guard lives; puts it back when it goes.
class WallClockStep {
 public:
  WallClockStep() {
    timespec real{}, mono{};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &mono);
    offset_ns_ = to_ns(real) - to_ns(mono);
  }
  ~WallClockStep() { set_real(to_ns(mono_now()) + offset_ns_); }
  bool step(long long seconds) { return set_real(to_ns(real_now()) + seconds * 1'000'000'000LL); }

 private:
  static long long to_ns(const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; }
  static timespec real_now() { timespec t{}; clock_gettime(CLOCK_REALTIME, &t); return t; }
  static timespec mono_now() { timespec t{}; clock_gettime(CLOCK_MONOTONIC, &t); return t; }
  static bool set_real(long long ns) {
    const timespec t{static_cast<time_t>(ns / 1'000'000'000LL), static_cast<long>(ns % 1'000'000'000LL)};
    return clock_settime(CLOCK_REALTIME, &t) == 0;
  }
  long long offset_ns_;
};

class WallClock : public SimLinkTest {};

TEST_F(WallClock, WaitsIgnoreItsSteps) {
  {
    WallClockStep probe;
    if (geteuid() != 0 || !probe.step(0)) GTEST_SKIP() << "setting the wall clock needs root";
  }
  for (long long seconds : {2LL, -2LL}) {
    WallClockStep clock;
    std::thread stepper([&] {
      usleep(100000);
      clock.step(seconds);
    });
    Stopwatch watch;
    EXPECT_EQ(wait_reply(0, 400), kReplyTimedOut);
    const double waited = watch.ms();
    stepper.join();
    EXPECT_NEAR(waited, 401, 80) << "wall clock stepped by " << seconds << " s";
  }
}

}  // namespace
}  // namespace tmode
