#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "link/reply_wait.h"

namespace tmode {
namespace {

timespec at(long sec, long usec) { return timespec{sec, usec * 1000}; }

TEST(ReplyDeadline, AddsTheExtraMillisecondAndCarriesOnce) {
  struct Case {
    timespec now;
    int s, ms;
    int64_t sec, usec;
  };
  const Case cases[] = {
      {at(10, 500000), 3, 0, 13, 501000},
      {at(10, 999500), 0, 0, 11, 500},       // carry
      {at(10, 0), 0, 999, 11, 0},            // 999 + 1 ms is exactly a second
      {at(10, 200000), 0, 1500, 11, 701000},  // 1500 ms folds into the seconds
      {at(10, 900000), 1, 2500, 14, 401000},  // fold and carry together
      {at(10, 0), -1, -5, 10, 1000},          // negatives count as 0
      // Nothing wraps near the top of int: seconds and milliseconds both.
      {at(10, 0), INT_MAX, 0, 10 + int64_t{INT_MAX}, 1000},
      {at(10, 999000), INT_MAX, INT_MAX, 10 + int64_t{INT_MAX} + 2147483 + 1, 647000},
  };
  for (const Case& c : cases) {
    const WaitDeadline d = reply_deadline(c.now, c.s, c.ms);
    EXPECT_EQ(d.sec, c.sec) << c.s << "s " << c.ms << "ms";
    EXPECT_EQ(d.usec, c.usec) << c.s << "s " << c.ms << "ms";
    EXPECT_LT(d.usec, 1000000);
  }
}

TEST(ReplyDeadline, TimeLeftBorrowsAndStopsAtTheDeadline) {
  struct Case {
    WaitDeadline deadline;
    timespec now;
    bool left;
    int s, ms;
  };
  const Case cases[] = {
      {{13, 501000}, at(11, 700000), true, 1, 801},  // 3 s wait woken after 1.2 s
      {{13, 501000}, at(13, 500999), true, 0, 0},    // under a millisecond left
      {{13, 501000}, at(13, 501000), false, 0, 0},   // exactly at the deadline
      {{13, 501000}, at(14, 0), false, 0, 0},
      {{13, 100000}, at(12, 900000), true, 0, 200},  // borrow a second
      {{int64_t{1} << 40, 0}, at(10, 0), true, INT_MAX, 0},  // held at the most an int says
  };
  for (const Case& c : cases) {
    int s = 99, ms = 99;
    EXPECT_EQ(time_left(c.deadline, c.now, s, ms), c.left);
    EXPECT_EQ(s, c.s);
    EXPECT_EQ(ms, c.ms);
  }
}

}  // namespace
}  // namespace tmode
