// Handing replies from the reader thread to the caller that waits for one,
// and the link's timed waits. Every wait runs on the monotonic clock.
#pragma once

#include <time.h>

#include <cstdint>

namespace tmode {

inline constexpr int kReplyTimedOut = 110;  // ETIMEDOUT

// A deadline on the monotonic clock, in seconds and microseconds (below a
// million, so long as timespec's nanoseconds are).
struct WaitDeadline {
  int64_t sec;
  long usec;
};

// now + s seconds + (ms + 1) milliseconds, the microseconds carried once.
// ms of 1000 and more is folded into the seconds first; negatives count as 0.
WaitDeadline reply_deadline(const timespec& now, int s, int ms);

// Time from now until the deadline, as whole seconds and milliseconds (the
// sub-millisecond remainder dropped). False, with both set to 0, when the
// deadline is not after now.
bool time_left(const WaitDeadline& deadline, const timespec& now, int& s, int& ms);

timespec monotonic_now();

// Reader thread: stores the report as the latest reply and hands it to a
// waiting caller. With nobody waiting, a caller that starts waiting within
// about 15 ms still gets it; after that it stays in reply_report unmarked.
void post_reply(const uint8_t* report, int size);

// 0 when a reply was handed over within the time, 110 when it ran out.
int wait_reply(int s, int ms);

// The same wait, with the time left written back (0 and 0, and the result
// 110, once the deadline has passed).
int wait_reply_remaining(int& s, int& ms);

// Copies the 64-byte reply_report out, or clears it, under the reply lock.
void copy_reply_report(uint8_t* out);
void clear_reply_report();

// Sleeps the given milliseconds (1000 and more allowed), resuming after
// signals.
void sleep_ms(int ms);

// Sets up the reply condition (monotonic clock) once per process.
void ensure_reply_sync();

}  // namespace tmode
