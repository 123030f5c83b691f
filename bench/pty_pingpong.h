// A bare write/select/read round trip on the simulator's pty: the floor that
// the library's round trips are compared against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmode::bench {

class PtyPingPong {
 public:
  explicit PtyPingPong(const std::string& path);
  ~PtyPingPong();
  bool ok() const { return fd_ >= 0; }
  // Writes the report and reads until one padded 64-byte reply is in;
  // returns the microseconds it took, or -1.
  double round_trip(const std::vector<uint8_t>& report);

 private:
  int fd_ = -1;
};

}  // namespace tmode::bench
