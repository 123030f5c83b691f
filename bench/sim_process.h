// The simulated controller as a separate process (tmode-sim), as a real
// controller is outside the process that talks to it.
//
// On a machine with two CPUs or more, the simulator runs on a CPU of its own
// and the measured process, both sides of each comparison, on another. Left
// to the scheduler, which CPU each thread happens to wake on decides more
// than the code does: on a small VM, a wake-up that crosses to an idle CPU
// costs tens of microseconds, and whether a ping-pong stays on one CPU flips
// with as little as a second (sleeping) thread in the process.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tmode::bench {

class SimProcess {
 public:
  // Starts tmode-sim with the given options and reads the node path it prints.
  explicit SimProcess(const std::vector<std::string>& options = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ok() const { return !path_.empty(); }
  // True when the simulator and this process run on separate CPUs.
  bool pinned() const { return pinned_; }
  // A line for the benchmark's output saying where each side runs.
  const char* placement() const {
    return pinned_ ? "simulator on CPU 1, measured process on CPU 0" : "not pinned";
  }
  const std::string& path() const { return path_; }

 private:
  void spawn(const std::vector<std::string>& options);

  pid_t pid_ = -1;
  std::string path_;
  bool pinned_ = false;
};

}  // namespace tmode::bench
