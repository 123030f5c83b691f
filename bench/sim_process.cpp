#include "bench/sim_process.h"

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

namespace tmode::bench {

namespace {

bool pin_to_cpu(int cpu) {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  CPU_SET(cpu, &cpus);
  return sched_setaffinity(0, sizeof cpus, &cpus) == 0;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options) {
  // The simulator inherits CPU 1 at its start; this process moves to CPU 0.
  const bool simulator_pinned = ::sysconf(_SC_NPROCESSORS_ONLN) >= 2 && pin_to_cpu(1);
  spawn(options);
  pinned_ = simulator_pinned && pin_to_cpu(0);
}

void SimProcess::spawn(const std::vector<std::string>& options) {
  int out[2];
  if (::pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> words = {TMODE_SIM_PATH};
  words.insert(words.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    pid_ = -1;
    ::close(out[0]);
    return;
  }
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') path_.push_back(c);
  ::close(out[0]);
}

SimProcess::~SimProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  ::waitpid(pid_, &status, 0);
}

}  // namespace tmode::bench
