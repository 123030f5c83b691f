// Runs a program with its standard output captured.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tmode::test {

struct ProgramResult {
  int exit_code = -1;  // 128 + signal number when killed by a signal
  std::string out;
  std::string err;  // standard error
  double wall_ms = 0;
};

// Runs a program of this build (through the emulator in a cross build) and
// waits for it at most `timeout_ms`.
ProgramResult run_program(const std::vector<std::string>& argv, int timeout_ms = 60000);

// The same with standard output on a terminal (a pty in raw mode), as a
// program sees it when run from a shell.
ProgramResult run_program_on_pty(const std::vector<std::string>& argv, int timeout_ms = 60000);

// The words that start a program of this build on a command line another
// program runs (tmode-sim's command after "--"): the emulator's words in a
// cross build, then the path.
std::vector<std::string> program_command(const std::string& path);

// Runs `body` in this process with file descriptor 1 redirected to a file,
// and returns what it wrote there.
std::string capture_stdout(const std::function<void()>& body);

}  // namespace tmode::test
