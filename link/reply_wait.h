// Handing replies from the reader thread to the caller that waits for one,
// and the link's timed waits. Every wait runs on the monotonic clock.
#pragma once

#include <time.h>

#include <cstdint>

namespace tmode {

inline constexpr int kReplyTimedOut = 110;  // ETIMEDOUT
inline constexpr int kReplyLinkEnded = -1;  // the reader stopped: the link is dead

// A deadline on the monotonic clock, in seconds and microseconds.
struct WaitDeadline {
  int64_t sec;
  int64_t usec;
};

// now + s seconds + (ms + 1) milliseconds, the microseconds carried once.
// ms of 1000 and more is folded into the seconds first; negatives count as 0.
// Computed in 64 bits, so no argument can overflow it.
WaitDeadline reply_deadline(const timespec& now, int s, int ms);

// Time from now until the deadline, as whole seconds and milliseconds (the
// sub-millisecond remainder dropped; seconds beyond INT_MAX held there).
// False, with both set to 0, when the deadline is not after now.
bool time_left(const WaitDeadline& deadline, const timespec& now, int& s, int& ms);

// True once the monotonic clock has reached the deadline.
bool deadline_passed(const WaitDeadline& deadline);

timespec monotonic_now();

// Reader thread: queues the report as a reply. While a command expects a
// reply, or somebody waits, it is queued for the caller however late the
// caller starts waiting. Otherwise it lands in reply_report and a caller that
// starts waiting within about 15 ms still gets it; after that it stays there
// unmarked.
void post_reply(const uint8_t* report, int size);

// Reader thread, on its way out: marks the link dead and wakes every waiter.
void end_reply_hand_over();

// Caller: from before the first write of a command until it ends, every
// reply that arrives is kept for it. Beginning drops whatever was queued or
// offered before; ending drops what is still queued.
void begin_reply_expectation();
void end_reply_expectation();

// The expectation of one command, ended on every path out.
class ReplyExpectation {
 public:
  ReplyExpectation() { begin_reply_expectation(); }
  ~ReplyExpectation() { end_reply_expectation(); }
  ReplyExpectation(const ReplyExpectation&) = delete;
  ReplyExpectation& operator=(const ReplyExpectation&) = delete;
};

// Takes the oldest queued reply, waiting for one until the deadline, and
// copies its 64 bytes into `out` (may be null) and reply_report in the same
// locked section. 0, 110 when the deadline passed, kReplyLinkEnded at once
// when the reader has stopped and nothing is queued (or when called on the
// reader thread, which could never be woken).
int take_reply_until(const WaitDeadline& deadline, uint8_t* out);

// 0 when a reply was handed over within the time, 110 when it ran out or the
// link is dead.
int wait_reply(int s, int ms);

// The same wait, with the time left written back (0 and 0, and the result
// 110, once the deadline has passed).
int wait_reply_remaining(int& s, int& ms);

// Copies the 64-byte reply_report out under the reply lock.
void copy_reply_report(uint8_t* out);
// Zeroes reply_report and drops every queued or offered reply.
void clear_reply_report();

// Sleeps the given milliseconds (1000 and more allowed), resuming after
// signals.
void sleep_ms(int ms);

// Sets up the reply condition (monotonic clock) once per process.
void ensure_reply_sync();

// Marks the calling thread as the link's reader thread (for the refusals of
// calls that would wait for, join or restart the reader from itself).
void mark_reader_thread();
bool on_reader_thread();

}  // namespace tmode
