#include "link/link.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "link/discovery.h"
#include "link/link_session.h"
#include "link/node_open.h"
#include "link/reply_wait.h"
#include "link/report_extract.h"
#include "link/report_handlers.h"
#include "link/report_trace.h"

namespace tmode {

namespace {

// A node that keeps streaming must not hold open_link forever.
constexpr int kDrainLimit = 4096;

void drain_node(int fd) {
  uint8_t byte;
  for (int i = 0; i < kDrainLimit && ::read(fd, &byte, 1) > 0; ++i) {
  }
}

// A descriptor of 0 would make open_link's result 0 and close_link refuse
// the link; move it up.
int avoid_descriptor_zero(int fd) {
  if (fd != 0) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
  ::close(fd);
  return moved;
}

// The reader ends when close_link wakes it through wake_fd, or when the
// descriptor is finished (device removed, daemon gone): a dead descriptor
// stays readable, and polling it on would pin a core.
void* reader_thread(void*) {
  mark_reader_thread();
  LinkSession& link = link_session();
  const int fd = link.read_fd;
  const bool is_socket = link.fd_is_socket;
  pollfd waits[2] = {{fd, POLLIN, 0}, {link.wake_fd, POLLIN, 0}};
  std::memset(link.rx_report, 0, sizeof link.rx_report);

  for (;;) {
    bool hangup = false;
    // Bytes already staged are parsed before waiting again.
    if (!staging_has_bytes(link.staging)) {
      const int ready = ::poll(waits, 2, -1);
      if (ready < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (waits[1].revents != 0 || (waits[0].revents & POLLNVAL) != 0) break;
      if (waits[0].revents == 0) continue;
      hangup = (waits[0].revents & (POLLHUP | POLLERR)) != 0;
    }

    const int size = extract_report(link.staging, fd, is_socket, link.rx_report, kReportSize);
    if (link.staging.stream_ended) break;
    if (size == 0 && hangup && link.staging.count == 0) break;
    if (size < 3) continue;

    const uint8_t* rx = link.rx_report;
    trace_report(TraceDirection::kFromController, rx, size);
    if (classify_report(rx[1], rx[2], rx[3], size, rx) == kReportReply) post_reply(rx, size);
    std::memset(link.rx_report, 0, sizeof link.rx_report);
  }
  // Whoever waits for a reply now waits in vain: tell them at once.
  end_reply_hand_over();
  return nullptr;
}

void reset_session_buffers(LinkSession& link) {
  std::memset(link.tx_report, 0, sizeof link.tx_report);
  clear_reply_report();
  link.staging = ReportStaging{};
}

// The result packs read_fd << 16 | write_fd into a positive int.
constexpr int kHighestPackableDescriptor = 32767;

// Waits until fd can take more bytes or the deadline passes.
bool wait_writable(int fd, const WaitDeadline& deadline) {
  for (;;) {
    int s = 0, ms = 0;
    if (!time_left(deadline, monotonic_now(), s, ms)) return false;
    const int64_t wait_ms = static_cast<int64_t>(s) * 1000 + ms + 1;
    pollfd out{fd, POLLOUT, 0};
    const int ready = ::poll(&out, 1, wait_ms > INT_MAX ? INT_MAX : static_cast<int>(wait_ms));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0) return (out.revents & (POLLERR | POLLNVAL)) == 0;
  }
}

}  // namespace

bool link_descriptor_held() { return link_session().write_fd >= 1; }

bool link_is_open() {
  const LinkSession& link = link_session();
  if (link.write_fd < 1) return false;
  // A reader that stopped on its own left a dead descriptor behind.
  return !(link.reader_running && link.link_dead.load(std::memory_order_acquire));
}

int open_link(int, int, int start_reader) {
  LinkSession& link = link_session();
  // From a report handler this would start a second reader on the first
  // one's descriptors.
  if (on_reader_thread()) return -1;
  if (link.read_fd >= 0 || link.write_fd >= 0) return -1;
  ensure_reply_sync();

  bool is_socket = false;
  int fd = open_link_node(link.device_path, is_socket);
  if (fd == kNodeRefused) return -1;
  if (fd < 0) {
    fd = connect_daemon_socket();
    if (fd < 0) return -1;
    is_socket = true;
  }
  if (is_socket) link.socket_mode = 1;
  fd = avoid_descriptor_zero(fd);
  if (fd < 0) return -1;
  if (fd > kHighestPackableDescriptor) {
    // Every lower descriptor is taken, so it cannot be moved down either.
    ::close(fd);
    return -1;
  }

  link.read_fd = fd;
  link.write_fd = fd;
  link.fd_is_socket = is_socket;
  if (!is_socket) drain_node(fd);
  reset_session_buffers(link);

  if (!start_reader) {
    link.reader_running = 0;
    return (link.read_fd << 16) | link.write_fd;
  }

  pthread_mutex_lock(&link.reply_mutex);
  link.reply_pending = 0;
  link.reply_waiters = 0;
  link.reply_expected = 0;
  link.reply_head = 0;
  link.reply_offered = false;
  link.link_dead.store(false, std::memory_order_release);
  pthread_mutex_unlock(&link.reply_mutex);

  link.wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (link.wake_fd < 0 || pthread_create(&link.reader, nullptr, reader_thread, nullptr) != 0) {
    link.reader_running = 0;
    close_link(0, 0);
    return -1;
  }
  sched_yield();
  link.reader_running = 1;
  return (link.read_fd << 16) | link.write_fd;
}

int close_link(int, int) {
  LinkSession& link = link_session();
  // A report handler cannot join the thread it runs on.
  if (on_reader_thread()) return -1;
  if (link.read_fd < 1 || link.write_fd < 1) return -1;

  if (link.reader_running) {
    sched_yield();
    const uint64_t stop = 1;
    (void)!::write(link.wake_fd, &stop, sizeof stop);
    pthread_join(link.reader, nullptr);
    link.reader_running = 0;
  }
  if (link.wake_fd >= 0) {
    ::close(link.wake_fd);
    link.wake_fd = -1;
  }

  int result = ::close(link.read_fd);
  if (link.write_fd != link.read_fd) result = ::close(link.write_fd);
  link.read_fd = -1;
  link.write_fd = -1;
  link.fd_is_socket = false;
  clear_report_handlers();
  return result;
}

int link_write_until(int n, const WaitDeadline& deadline) {
  LinkSession& link = link_session();
  if (n < 0 || n > kReportSize || link.write_fd < 0) return -1;
  // Traced before it goes: its reply cannot come into the trace ahead of it.
  trace_report(TraceDirection::kToController, link.tx_report, n);
  int done = 0;
  while (done < n) {
    // Both descriptors are non-blocking for the write: a full queue waits
    // below, within the deadline, instead of blocking for good.
    const ssize_t written =
        link.fd_is_socket
            ? ::send(link.write_fd, link.tx_report + done, static_cast<size_t>(n - done), MSG_NOSIGNAL | MSG_DONTWAIT)
            : ::write(link.write_fd, link.tx_report + done, static_cast<size_t>(n - done));
    if (written > 0) {
      done += static_cast<int>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_writable(link.write_fd, deadline)) {
      continue;
    }
    // Nothing more goes: what went so far, or the failure itself.
    return done > 0 ? done : static_cast<int>(written);
  }
  return done;
}

int link_write(int n) { return link_write_until(n, reply_deadline(monotonic_now(), kWriteLimitS, 0)); }

}  // namespace tmode
