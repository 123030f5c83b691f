// The simulated controller as a separate process (tmode-sim), as a real
// controller is outside the process that talks to it. Threads of one process
// are scheduled together; a simulator thread inside the measured process
// would share that with the library's threads and skew the comparison.
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
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

}  // namespace tmode::bench
