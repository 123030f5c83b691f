#include "link/link.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "link/discovery.h"
#include "link/link_session.h"
#include "link/node_open.h"
#include "link/reply_wait.h"
#include "link/report_extract.h"
#include "link/report_handlers.h"

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
    if (classify_report(rx[1], rx[2], rx[3], size, rx) == kReportReply) post_reply(rx, size);
    std::memset(link.rx_report, 0, sizeof link.rx_report);
  }
  return nullptr;
}

void reset_session_buffers(LinkSession& link) {
  std::memset(link.tx_report, 0, sizeof link.tx_report);
  clear_reply_report();
  link.staging = ReportStaging{};
}

}  // namespace

bool link_is_open() { return link_session().write_fd >= 1; }

int open_link(int, int, int start_reader) {
  LinkSession& link = link_session();
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

  link.read_fd = fd;
  link.write_fd = fd;
  link.fd_is_socket = is_socket;
  if (!is_socket) drain_node(fd);
  reset_session_buffers(link);

  if (!start_reader) {
    link.reader_running = 0;
    return (link.read_fd << 16) | link.write_fd;
  }

  link.wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (link.wake_fd < 0 || pthread_create(&link.reader, nullptr, reader_thread, nullptr) != 0) {
    link.reader_running = 0;
    close_link(0, 0);
    return -1;
  }
  sched_yield();
  link.reader_running = 1;
  pthread_mutex_lock(&link.reply_mutex);
  link.reply_pending = 0;
  link.reply_waiters = 0;
  link.reply_offered = false;
  pthread_mutex_unlock(&link.reply_mutex);
  return (link.read_fd << 16) | link.write_fd;
}

int close_link(int, int) {
  LinkSession& link = link_session();
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

int link_write(int n) {
  LinkSession& link = link_session();
  if (n < 0 || n > kReportSize || link.write_fd < 0) return -1;
  ssize_t written;
  do {
    written = link.fd_is_socket ? ::send(link.write_fd, link.tx_report, n, MSG_NOSIGNAL)
                                : ::write(link.write_fd, link.tx_report, n);
  } while (written < 0 && errno == EINTR);
  return static_cast<int>(written);
}

}  // namespace tmode
