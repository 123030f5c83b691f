#include "link/reply_wait.h"

#include <pthread.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <mutex>

#include "link/link_session.h"

namespace tmode {

namespace {

constexpr long kOfferWindowNs = 15'000'000;  // three tries 5 ms apart

thread_local bool tl_reader_thread = false;

bool before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec add_ns(timespec t, long ns) {
  t.tv_nsec += ns;
  while (t.tv_nsec >= 1'000'000'000) {
    t.tv_nsec -= 1'000'000'000;
    ++t.tv_sec;
  }
  return t;
}

timespec to_timespec(const WaitDeadline& deadline) {
  timespec t{};
  // Monotonic seconds count from boot; a deadline beyond what time_t holds
  // (32 bits on some boards) is as good as never.
  constexpr int64_t kLatest = std::numeric_limits<time_t>::max();
  t.tv_sec = static_cast<time_t>(deadline.sec > kLatest ? kLatest : deadline.sec);
  t.tv_nsec = static_cast<long>(deadline.usec * 1000);
  return t;
}

class ReplyLock {
 public:
  explicit ReplyLock(LinkSession& link) : mutex_(link.reply_mutex) { pthread_mutex_lock(&mutex_); }
  ~ReplyLock() { pthread_mutex_unlock(&mutex_); }
  ReplyLock(const ReplyLock&) = delete;
  ReplyLock& operator=(const ReplyLock&) = delete;

 private:
  pthread_mutex_t& mutex_;
};

// reply_mutex held.
void drop_queued_locked(LinkSession& link) {
  link.reply_pending = 0;
  link.reply_head = 0;
  link.reply_offered = false;
}

// reply_mutex held: appends the arrival to the queue, pushing out the oldest
// reply when it is full.
void enqueue_locked(LinkSession& link) {
  if (link.reply_pending == kReplyQueueSize) {
    link.reply_head = static_cast<uint8_t>((link.reply_head + 1) % kReplyQueueSize);
    --link.reply_pending;
    ++link.replies_dropped;
  }
  const int slot = (link.reply_head + link.reply_pending) % kReplyQueueSize;
  std::memcpy(link.reply_queue[slot], link.reply_arrival, kReportSize);
  ++link.reply_pending;
}

// reply_mutex held: takes the oldest queued reply into reply_report (and out)
// unless it was an unexpected one whose offer window has passed.
bool take_locked(LinkSession& link, uint8_t* out) {
  if (link.reply_offered && link.reply_pending > 0 && !before(monotonic_now(), link.offer_expiry)) {
    drop_queued_locked(link);
  }
  if (link.reply_pending == 0) return false;
  const uint8_t* taken = link.reply_queue[link.reply_head];
  std::memcpy(link.reply_report, taken, kReportSize);
  if (out != nullptr) std::memcpy(out, taken, kReportSize);
  link.reply_head = static_cast<uint8_t>((link.reply_head + 1) % kReplyQueueSize);
  if (--link.reply_pending == 0) link.reply_offered = false;
  return true;
}

}  // namespace

void ensure_reply_sync() {
  static std::once_flag once;
  std::call_once(once, [] {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&link_session().reply_cond, &attr);
    pthread_condattr_destroy(&attr);
  });
}

void mark_reader_thread() { tl_reader_thread = true; }
bool on_reader_thread() { return tl_reader_thread; }

timespec monotonic_now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

WaitDeadline reply_deadline(const timespec& now, int s, int ms) {
  int64_t seconds = s < 0 ? 0 : s;
  int64_t millis = ms < 0 ? 0 : ms;
  seconds += millis / 1000;
  millis %= 1000;
  WaitDeadline deadline{static_cast<int64_t>(now.tv_sec) + seconds,
                        static_cast<int64_t>(now.tv_nsec / 1000) + (millis + 1) * 1000};
  if (deadline.usec > 999999) {
    deadline.usec -= 1000000;
    ++deadline.sec;
  }
  return deadline;
}

bool time_left(const WaitDeadline& deadline, const timespec& now, int& s, int& ms) {
  const int64_t now_sec = now.tv_sec;
  const int64_t now_usec = now.tv_nsec / 1000;
  if (deadline.sec < now_sec || (deadline.sec == now_sec && deadline.usec <= now_usec)) {
    s = 0;
    ms = 0;
    return false;
  }
  int64_t sec = deadline.sec - now_sec;
  int64_t usec = deadline.usec - now_usec;
  if (usec < 0) {
    usec += 1000000;
    --sec;
  }
  s = sec > INT_MAX ? INT_MAX : static_cast<int>(sec);
  ms = static_cast<int>(usec / 1000);
  return true;
}

bool deadline_passed(const WaitDeadline& deadline) {
  int s = 0, ms = 0;
  return !time_left(deadline, monotonic_now(), s, ms);
}

void post_reply(const uint8_t* report, int size) {
  ensure_reply_sync();
  LinkSession& link = link_session();
  if (size < 0) size = 0;
  if (size > kReportSize) size = kReportSize;

  bool wake = false;
  {
    ReplyLock lock(link);
    // Bytes beyond the new report keep what the reply before left there.
    std::memcpy(link.reply_arrival, report, static_cast<size_t>(size));
    if (link.reply_expected || link.reply_waiters > 0) {
      if (link.reply_offered) drop_queued_locked(link);  // a stale offer is not a reply to this
      enqueue_locked(link);
      wake = link.reply_waiters > 0;
    } else {
      // Nobody expects it: it replaces any earlier offer, and is offered for
      // a short while to a caller that is about to wait.
      std::memcpy(link.reply_report, link.reply_arrival, kReportSize);
      drop_queued_locked(link);
      enqueue_locked(link);
      link.reply_offered = true;
      link.offer_expiry = add_ns(monotonic_now(), kOfferWindowNs);
    }
  }
  // Signalled after unlocking, so that the waiter does not wake only to
  // block on the lock this thread still holds.
  if (wake) pthread_cond_signal(&link.reply_cond);
}

void end_reply_hand_over() {
  ensure_reply_sync();
  LinkSession& link = link_session();
  {
    ReplyLock lock(link);
    link.link_dead.store(true, std::memory_order_release);
  }
  pthread_cond_broadcast(&link.reply_cond);
}

// Starting or ending a command's expectation drops what was queued before.
void set_reply_expectation(uint8_t expected) {
  ensure_reply_sync();
  LinkSession& link = link_session();
  ReplyLock lock(link);
  drop_queued_locked(link);
  link.reply_expected = expected;
}

void begin_reply_expectation() { set_reply_expectation(1); }
void end_reply_expectation() { set_reply_expectation(0); }

int take_reply_until(const WaitDeadline& deadline, uint8_t* out) {
  // The reader cannot hand a reply to itself.
  if (on_reader_thread()) return kReplyLinkEnded;
  ensure_reply_sync();
  LinkSession& link = link_session();
  const timespec until = to_timespec(deadline);

  ReplyLock lock(link);
  ++link.reply_waiters;
  int result = kReplyTimedOut;
  for (;;) {
    if (take_locked(link, out)) {
      result = 0;
      break;
    }
    if (link.link_dead.load(std::memory_order_relaxed)) {
      result = kReplyLinkEnded;
      break;
    }
    // ETIMEDOUT ends the wait; a wake-up without a reply waits again.
    const int rc = pthread_cond_timedwait(&link.reply_cond, &link.reply_mutex, &until);
    if (rc == ETIMEDOUT) {
      if (take_locked(link, out)) result = 0;
      break;
    }
  }
  --link.reply_waiters;
  return result;
}

int wait_reply(int s, int ms) {
  return take_reply_until(reply_deadline(monotonic_now(), s, ms), nullptr) == 0 ? 0 : kReplyTimedOut;
}

int wait_reply_remaining(int& s, int& ms) {
  const WaitDeadline deadline = reply_deadline(monotonic_now(), s, ms);
  const int result = take_reply_until(deadline, nullptr) == 0 ? 0 : kReplyTimedOut;
  if (!time_left(deadline, monotonic_now(), s, ms)) return kReplyTimedOut;
  return result;
}

void copy_reply_report(uint8_t* out) {
  ensure_reply_sync();
  LinkSession& link = link_session();
  ReplyLock lock(link);
  std::memcpy(out, link.reply_report, kReportSize);
}

void clear_reply_report() {
  ensure_reply_sync();
  LinkSession& link = link_session();
  ReplyLock lock(link);
  std::memset(link.reply_report, 0, kReportSize);
  std::memset(link.reply_arrival, 0, kReportSize);
  drop_queued_locked(link);
}

void sleep_ms(int ms) {
  if (ms <= 0) return;
  link_session().slept_us.fetch_add(static_cast<uint64_t>(ms) * 1000, std::memory_order_relaxed);
  timespec request{ms / 1000, (ms % 1000) * 1'000'000L};
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

}  // namespace tmode
