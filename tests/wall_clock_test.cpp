// Waits measure time on the monotonic clock: a step of the wall clock (NTP
// setting the time at boot) neither cuts nor stretches them; and dates past
// January 2038 reach files, log names and stamp records intact. The machine's
// clock is left alone: this test binary interposes the wall-clock readings
// of the whole process and steps what they return.
#include <dlfcn.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/log_paths.h"
#include "library/library_state.h"
#include "link/reply_wait.h"
#include "maintenance/stamp_record.h"
#include "paramfile/bin_file.h"
#include "protocol/touch_mode.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"
#include "tuning/tuner.h"

namespace {

std::atomic<long> wall_offset_s{0};
std::atomic<int64_t> fixed_time_s{0};  // what time() returns, when not 0

using ClockGettime = int (*)(clockid_t, timespec*);
using GetTimeOfDay = int (*)(timeval*, void*);
using Time = time_t (*)(time_t*);

// With a 64-bit time_t on a 32-bit target, the C library's headers name the
// 64-bit variants of these functions, and the definitions below are those.
#if defined(__USE_TIME_BITS64) && __TIMESIZE == 32
constexpr const char* kClockGettime = "__clock_gettime64";
constexpr const char* kGetTimeOfDay = "__gettimeofday64";
constexpr const char* kTime = "__time64";
#else
constexpr const char* kClockGettime = "clock_gettime";
constexpr const char* kGetTimeOfDay = "gettimeofday";
constexpr const char* kTime = "time";
#endif

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* t) {
  static const auto real = reinterpret_cast<ClockGettime>(dlsym(RTLD_NEXT, kClockGettime));
  const int result = real(clock, t);
  if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    t->tv_sec += wall_offset_s.load();
  }
  return result;
}

extern "C" int gettimeofday(timeval* tv, void* tz) {
  static const auto real = reinterpret_cast<GetTimeOfDay>(dlsym(RTLD_NEXT, kGetTimeOfDay));
  const int result = real(tv, tz);
  if (result == 0) tv->tv_sec += wall_offset_s.load();
  return result;
}

extern "C" time_t time(time_t* out) noexcept {
  static const auto real = reinterpret_cast<Time>(dlsym(RTLD_NEXT, kTime));
  const int64_t fixed = fixed_time_s.load();
  if (fixed == 0) return real(out);
  const auto now = static_cast<time_t>(fixed);
  if (out != nullptr) *out = now;
  return now;
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

// 2040-02-29 12:34:56 UTC, past the last second a 32-bit time_t holds
// (2038-01-19 03:14:07).
constexpr int64_t kLeapDay2040 = 2214131696;

class DatesAfter2038 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* zone = std::getenv("TZ")) saved_zone_ = zone;
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    fixed_time_s = kLeapDay2040;
  }
  void TearDown() override {
    fixed_time_s = 0;
    if (saved_zone_.empty()) {
      ::unsetenv("TZ");
    } else {
      ::setenv("TZ", saved_zone_.c_str(), 1);
    }
    ::tzset();
    clear_parameter_images();
  }

  test::ScratchDir dir;
  test::WorkingDirectory cwd{dir.path()};

 private:
  std::string saved_zone_;
};

TEST_F(DatesAfter2038, ReachFileHeadersLogNamesAndStampRecords) {
  ASSERT_EQ(time(nullptr), kLeapDay2040) << "the interposed time() is not in effect";

  TunerPtr tuner = create_tuner();
  ASSERT_TRUE(tuner);
  ASSERT_EQ(save_hardware_bin_file(*tuner, dir.file("hardware.bin").c_str()), 0);
  const std::vector<uint8_t> file = test::read_bytes(dir.file("hardware.bin"));
  ASSERT_GE(file.size(), 64u);
  EXPECT_EQ(std::string(file.begin() + 28, file.begin() + 47), "2040/02/29,12:34:56");

  char prefix[512] = "Run";
  ASSERT_EQ(set_log_file_prefix(0, 0, prefix), 0);
  EXPECT_STREQ(prefix, "./LogFile/Run_20400229_123456.csv");

  ASSERT_EQ(prepare_stamp_record(0, 0, 0, 0, 0, nullptr, nullptr, nullptr, 1, 0x5C), 0);
  const uint8_t* update_time = library.stamp_record.bytes + 42;
  EXPECT_EQ(update_time[0], 12);
  EXPECT_EQ(update_time[1], 34);
  EXPECT_EQ(update_time[2], 56);
}

}  // namespace
}  // namespace tmode
