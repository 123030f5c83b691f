#include "tests/support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tests/support/emulator.h"

extern char** environ;

namespace tmode::test {

std::vector<std::string> program_command(const std::string& path) {
  std::vector<std::string> words;
  for (const char* word : kEmulatorWords) {
    if (word != nullptr) words.emplace_back(word);
  }
  words.push_back(path);
  return words;
}

namespace {

// Runs the program with standard output on out[1], read back from out[0];
// closes both.
ProgramResult run_with_output(const std::vector<std::string>& argv, int timeout_ms, const int out[2]) {
  ProgramResult result;

  // Standard error goes to a file of its own, read once the program ended.
  char err_path[] = "/tmp/tmode-test-stderr-XXXXXX";
  const int err_fd = ::mkstemp(err_path);
  if (err_fd >= 0) ::unlink(err_path);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (err_fd >= 0) posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  const std::vector<std::string> words = program_command(argv.empty() ? std::string() : argv[0]);
  std::vector<char*> args;
  for (const std::string& word : words) args.push_back(const_cast<char*>(word.c_str()));
  for (size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t child = -1;
  const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    if (err_fd >= 0) ::close(err_fd);
    return result;
  }

  const auto deadline = start + std::chrono::milliseconds(timeout_ms);
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{out[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) == 0) {
      ::kill(child, SIGKILL);
      break;
    }
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    result.out.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  result.wall_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (err_fd >= 0) {
    ::lseek(err_fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = ::read(err_fd, buffer, sizeof buffer)) > 0) result.err.append(buffer, static_cast<size_t>(n));
    ::close(err_fd);
  }
  return result;
}

}  // namespace

ProgramResult run_program(const std::vector<std::string>& argv, int timeout_ms) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return {};
  return run_with_output(argv, timeout_ms, out);
}

ProgramResult run_program_on_pty(const std::vector<std::string>& argv, int timeout_ms) {
  int out[2];
  out[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (out[0] < 0 || ::grantpt(out[0]) != 0 || ::unlockpt(out[0]) != 0) {
    if (out[0] >= 0) ::close(out[0]);
    return {};
  }
  out[1] = ::open(::ptsname(out[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (out[1] < 0) {
    ::close(out[0]);
    return {};
  }
  termios raw{};
  ::tcgetattr(out[1], &raw);
  ::cfmakeraw(&raw);  // the program's bytes as written, no "\r\n" for "\n"
  ::tcsetattr(out[1], TCSANOW, &raw);
  return run_with_output(argv, timeout_ms, out);
}

std::string capture_stdout(const std::function<void()>& body) {
  std::fflush(stdout);
  FILE* file = std::tmpfile();
  const int saved = ::dup(1);
  ::dup2(::fileno(file), 1);
  body();
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);

  std::string text;
  std::rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

}  // namespace tmode::test
