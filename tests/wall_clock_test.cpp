// Waits measure time on the monotonic clock: a step of the wall clock (NTP
// setting the time at boot) neither cuts nor stretches them. The machine's
// clock is left alone: this test binary interposes the wall-clock readings
// of the whole process and steps what they return.
#include <dlfcn.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/reply_wait.h"
#include "protocol/touch_mode.h"
#include "tests/support/sim_link.h"

namespace {

std::atomic<long> wall_offset_s{0};

using ClockGettime = int (*)(clockid_t, timespec*);
using GetTimeOfDay = int (*)(timeval*, void*);

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* t) {
  static const auto real = reinterpret_cast<ClockGettime>(dlsym(RTLD_NEXT, "clock_gettime"));
  const int result = real(clock, t);
  if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    t->tv_sec += wall_offset_s.load();
  }
  return result;
}

extern "C" int gettimeofday(timeval* tv, void* tz) {
  static const auto real = reinterpret_cast<GetTimeOfDay>(dlsym(RTLD_NEXT, "gettimeofday"));
  const int result = real(tv, tz);
  if (result == 0) tv->tv_sec += wall_offset_s.load();
  return result;
}

namespace tmode {
namespace {

using test::SimLinkTest;
using test::Stopwatch;

class WallClock : public SimLinkTest {
 protected:
  void TearDown() override {
    wall_offset_s = 0;
    SimLinkTest::TearDown();
  }
};

TEST_F(WallClock, StepsNeitherCutNorStretchAWait) {
  timeval before{};
  gettimeofday(&before, nullptr);
  wall_offset_s = 10;
  timeval after{};
  gettimeofday(&after, nullptr);
  ASSERT_GE(after.tv_sec - before.tv_sec, 10) << "the interposed wall clock is not in effect";
  wall_offset_s = 0;

  // The wall clock is an hour off when the wait begins and is set right
  // 100 ms into it; then the other way round.
  for (long step : {3600L, -3600L}) {
    wall_offset_s = step;
    std::thread stepper([] {
      usleep(100000);
      wall_offset_s = 0;
    });
    Stopwatch watch;
    int s = 0, ms = 400;
    EXPECT_EQ(wait_reply_remaining(s, ms), kReplyTimedOut);
    const double waited = watch.ms();
    stepper.join();
    EXPECT_GT(waited, 395) << "wall clock stepped by " << step << " s";
    EXPECT_LT(waited, 800) << "wall clock stepped by " << step << " s";
    EXPECT_EQ(s, 0);
    EXPECT_EQ(ms, 0);
  }
}

TEST_F(WallClock, CommandsCompleteAcrossAStep) {
  sim.add_fault(sim::late_reply('?', 'e', 200));
  wall_offset_s = 3600;
  std::thread stepper([] {
    usleep(50000);
    wall_offset_s = 0;
  });
  uint8_t mode = 0xFF;
  Stopwatch watch;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  stepper.join();
  EXPECT_GT(watch.ms(), 195);
  EXPECT_LT(watch.ms(), 700) << "neither cut nor stretched by the hour";
}

}  // namespace
}  // namespace tmode
