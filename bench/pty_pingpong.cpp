#include "bench/pty_pingpong.h"

#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <chrono>

namespace tmode::bench {

PtyPingPong::PtyPingPong(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

PtyPingPong::~PtyPingPong() {
  if (fd_ >= 0) ::close(fd_);
}

double PtyPingPong::round_trip(const std::vector<uint8_t>& report) {
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd_, report.data(), report.size()) != static_cast<ssize_t>(report.size())) return -1;
  uint8_t reply[64];
  size_t have = 0;
  while (have < sizeof reply) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd_, &readable);
    timeval limit{3, 0};
    if (::select(fd_ + 1, &readable, nullptr, nullptr, &limit) != 1) return -1;
    const ssize_t n = ::read(fd_, reply + have, sizeof reply - have);
    if (n <= 0) return -1;
    have += static_cast<size_t>(n);
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tmode::bench
