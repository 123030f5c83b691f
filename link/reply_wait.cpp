#include "link/reply_wait.h"

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "link/library_state.h"

namespace tmode {

namespace {

constexpr long kOfferWindowNs = 15'000'000;  // three tries 5 ms apart

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

class ReplyLock {
 public:
  explicit ReplyLock(LinkSession& link) : mutex_(link.reply_mutex) { pthread_mutex_lock(&mutex_); }
  ~ReplyLock() { pthread_mutex_unlock(&mutex_); }
  ReplyLock(const ReplyLock&) = delete;
  ReplyLock& operator=(const ReplyLock&) = delete;

 private:
  pthread_mutex_t& mutex_;
};

// reply_mutex held: consumes a pending reply, or one offered with nobody
// waiting less than the offer window ago.
bool consume_pending_locked(LinkSession& link) {
  if (!link.reply_pending && link.reply_offered) {
    if (before(monotonic_now(), link.offer_expiry)) link.reply_pending = 1;
    link.reply_offered = false;
  }
  if (!link.reply_pending) return false;
  link.reply_pending = 0;
  return true;
}

// Steps shared by both waits; returns 0 or 110.
int wait_until(const WaitDeadline& deadline) {
  ensure_reply_sync();
  LinkSession& link = library.link;
  const timespec until{deadline.sec, deadline.usec * 1000};

  ReplyLock lock(link);
  ++link.reply_waiters;
  bool handed_over = consume_pending_locked(link);
  while (!handed_over) {
    // ETIMEDOUT ends the wait; a wake-up without a reply waits again.
    const int rc = pthread_cond_timedwait(&link.reply_cond, &link.reply_mutex, &until);
    handed_over = consume_pending_locked(link);
    if (rc != 0) break;
  }
  --link.reply_waiters;
  return handed_over ? 0 : kReplyTimedOut;
}

}  // namespace

void ensure_reply_sync() {
  static std::once_flag once;
  std::call_once(once, [] {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&library.link.reply_cond, &attr);
    pthread_condattr_destroy(&attr);
  });
}

timespec monotonic_now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

WaitDeadline reply_deadline(const timespec& now, int s, int ms) {
  if (s < 0) s = 0;
  if (ms < 0) ms = 0;
  s += ms / 1000;
  ms %= 1000;
  WaitDeadline deadline{now.tv_sec + s, now.tv_nsec / 1000 + (ms + 1) * 1000L};
  if (deadline.usec > 999999) {
    deadline.usec -= 1000000;
    ++deadline.sec;
  }
  return deadline;
}

bool time_left(const WaitDeadline& deadline, const timespec& now, int& s, int& ms) {
  const int64_t now_usec = now.tv_nsec / 1000;
  if (deadline.sec < now.tv_sec || (deadline.sec == now.tv_sec && deadline.usec <= now_usec)) {
    s = 0;
    ms = 0;
    return false;
  }
  int64_t sec = deadline.sec - now.tv_sec;
  int64_t usec = deadline.usec - now_usec;
  if (usec < 0) {
    usec += 1000000;
    --sec;
  }
  s = static_cast<int>(sec);
  ms = static_cast<int>(usec / 1000);
  return true;
}

void post_reply(const uint8_t* report, int size) {
  ensure_reply_sync();
  LinkSession& link = library.link;
  if (size > kReportSize) size = kReportSize;

  bool wake = false;
  {
    ReplyLock lock(link);
    std::memcpy(link.reply_report, report, static_cast<size_t>(size));
    if (link.reply_waiters > 0) {
      link.reply_offered = false;
      if (!link.reply_pending) {
        link.reply_pending = 1;
        wake = true;
      }
    } else {
      link.reply_offered = true;
      link.offer_expiry = add_ns(monotonic_now(), kOfferWindowNs);
    }
  }
  // Signalled after unlocking, so that the waiter does not wake only to
  // block on the lock this thread still holds.
  if (wake) pthread_cond_signal(&link.reply_cond);
}

int wait_reply(int s, int ms) { return wait_until(reply_deadline(monotonic_now(), s, ms)); }

int wait_reply_remaining(int& s, int& ms) {
  const WaitDeadline deadline = reply_deadline(monotonic_now(), s, ms);
  const int result = wait_until(deadline);
  if (!time_left(deadline, monotonic_now(), s, ms)) return kReplyTimedOut;
  return result;
}

void copy_reply_report(uint8_t* out) {
  ensure_reply_sync();
  LinkSession& link = library.link;
  ReplyLock lock(link);
  std::memcpy(out, link.reply_report, kReportSize);
}

void clear_reply_report() {
  ensure_reply_sync();
  LinkSession& link = library.link;
  ReplyLock lock(link);
  std::memset(link.reply_report, 0, kReportSize);
}

void sleep_ms(int ms) {
  if (ms <= 0) return;
  timespec request{ms / 1000, (ms % 1000) * 1'000'000L};
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

}  // namespace tmode
