// tmode-sim: the simulated touch controller as a program.
#include <getopt.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/sensor_setup.h"
#include "sim/simulator.h"

namespace {

void print_usage() {
  std::puts(
      "Usage: tmode-sim [options] [-- command [arguments...]]\n"
      "Simulates the touch controller on a pty (or on the daemon's Unix socket).\n"
      "\n"
      "  --socket PATH    listen on a Unix stream socket at PATH instead of a pty\n"
      "  --link PATH      also make PATH a symbolic link to the pty (kept across restarts)\n"
      "  --restart-ms N   a reset ('g') takes the node away for N ms, as a restarting\n"
      "                   controller does (with --link, the link follows the new pty)\n"
      "  --type TEXT      type name (default \"Plovex PCT\")\n"
      "  --model TEXT     model name (default \"PLVX-6300\")\n"
      "  --firmware TEXT  firmware version (default \"6300.1.02\")\n"
      "  --mode N         touch mode in force (default 0)\n"
      "  --modes N        number of touch modes accepted (default 4)\n"
      "  --unpadded       write reports at their own size, not padded to 64 bytes\n"
      "  --trace          print every command and write on standard error\n"
      "\n"
      "The sensor panel (see sim/README.md):\n"
      "  --tx N --rx N    driving and sensing lines (default 16 and 28)\n"
      "  --chips N        sensing chips sharing the sensing lines (default 2)\n"
      "  --extra-lines N  frame lines before the driving lines (default 2)\n"
      "  --cal-constant K calibration constant (default 900; 300 cannot calibrate)\n"
      "  --plateaus       three signal levels across the driving lines\n"
      "  --flat           every driving line alike\n"
      "  --level N        controller level ('?','X' byte 0; 0 scans one delay at a time)\n"
      "  --open-tx N, --open-rx N   an open line (reads 200 in the open-test frame)\n"
      "  --dip-rx N       a sensing line reading 900 in the open-test frame\n"
      "  --short-tx N, --short-rx N a shorted line (short-test value -100)\n"
      "  --noisy-node T,R,D  node (T, R) moves by +/-D per scan and frame\n"
      "  --dead-chip N    a sensing chip whose register commands fail\n"
      "  --corrupt-waveform N  the next N waveform read-backs are wrong\n"
      "  --lost-report N  'J' report N of every frame is never sent\n"
      "  --no-end-report  the short test never ends\n"
      "  --frame-ms N     time between two streamed frames (default 5)\n"
      "  -h, --help       this text\n"
      "\n"
      "With a command, runs it with every argument \"{}\" replaced by the node's\n"
      "path and exits with its status; without one, prints the path and serves\n"
      "until interrupted.");
}

int run_command(std::vector<std::string> words, const std::string& path) {
  std::vector<char*> argv;
  for (std::string& word : words) {
    if (word == "{}") word = path;
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("tmode-sim: fork");
    return 127;
  }
  if (child == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "tmode-sim: cannot run %s: %s\n", argv[0], std::strerror(errno));
    std::_Exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kSocket = 1, kLink, kType, kModel, kFirmware, kMode, kModes, kUnpadded, kTrace, kRestart,
    kTx, kRx, kChips, kFlat, kExtraLines, kCalConstant, kPlateaus, kLevel, kOpenTx, kOpenRx, kDipRx,
    kShortTx, kShortRx, kNoisyNode, kDeadChip, kCorruptWaveform, kLostReport, kNoEndReport, kFrameMs
  };
  const option options[] = {
      {"socket", required_argument, nullptr, kSocket}, {"link", required_argument, nullptr, kLink},
      {"type", required_argument, nullptr, kType},     {"model", required_argument, nullptr, kModel},
      {"firmware", required_argument, nullptr, kFirmware},
      {"mode", required_argument, nullptr, kMode},     {"modes", required_argument, nullptr, kModes},
      {"unpadded", no_argument, nullptr, kUnpadded},   {"trace", no_argument, nullptr, kTrace},
      {"restart-ms", required_argument, nullptr, kRestart},
      {"tx", required_argument, nullptr, kTx},         {"rx", required_argument, nullptr, kRx},
      {"chips", required_argument, nullptr, kChips},   {"extra-lines", required_argument, nullptr, kExtraLines},
      {"cal-constant", required_argument, nullptr, kCalConstant},
      {"plateaus", no_argument, nullptr, kPlateaus},   {"flat", no_argument, nullptr, kFlat},   {"level", required_argument, nullptr, kLevel},
      {"open-tx", required_argument, nullptr, kOpenTx}, {"open-rx", required_argument, nullptr, kOpenRx},
      {"dip-rx", required_argument, nullptr, kDipRx},
      {"short-tx", required_argument, nullptr, kShortTx}, {"short-rx", required_argument, nullptr, kShortRx},
      {"noisy-node", required_argument, nullptr, kNoisyNode},
      {"dead-chip", required_argument, nullptr, kDeadChip},
      {"corrupt-waveform", required_argument, nullptr, kCorruptWaveform},
      {"lost-report", required_argument, nullptr, kLostReport},
      {"no-end-report", no_argument, nullptr, kNoEndReport},
      {"frame-ms", required_argument, nullptr, kFrameMs},
      {"help", no_argument, nullptr, 'h'},             {nullptr, 0, nullptr, 0}};

  tmode::sim::ControllerState state;
  std::string socket_path;
  std::string link_path;
  bool unpadded = false;
  bool tracing = false;
  tmode::sim::SensorPanel& panel = state.panel;
  tmode::sim::PanelDefects& defects = panel.defects;
  int option;
  // "+": stop at the first word that is not an option, so the command keeps its own.
  while ((option = getopt_long(argc, argv, "+h", options, nullptr)) != -1) {
    switch (option) {
      case kSocket: socket_path = optarg; break;
      case kLink: link_path = optarg; break;
      case kType: state.type_name = optarg; break;
      case kModel: state.model_name = optarg; break;
      case kFirmware: state.firmware_version = optarg; break;
      case kMode: state.touch_mode = static_cast<uint8_t>(std::atoi(optarg)); break;
      case kModes: state.mode_count = std::atoi(optarg); break;
      case kUnpadded: unpadded = true; break;
      case kTrace: tracing = true; break;
      case kRestart: state.family.node_gone_ms = std::atoi(optarg); break;
      case kTx: panel.tx_lines = std::atoi(optarg); break;
      case kRx: panel.rx_lines = std::atoi(optarg); break;
      case kChips: panel.sensing_chips = std::atoi(optarg); break;
      case kExtraLines: panel.extra_lines = std::atoi(optarg); break;
      case kCalConstant: panel.calibration_constant = std::atoi(optarg); break;
      case kPlateaus: panel.plateaus = true; break;
      case kFlat: panel.flat = true; break;
      case kLevel: state.family.level[0] = static_cast<uint8_t>(std::atoi(optarg)); break;
      case kOpenTx: defects.open_tx = std::atoi(optarg); break;
      case kOpenRx: defects.open_rx = std::atoi(optarg); break;
      case kDipRx: defects.dip_rx = std::atoi(optarg); break;
      case kShortTx: defects.short_tx = std::atoi(optarg); break;
      case kShortRx: defects.short_rx = std::atoi(optarg); break;
      case kNoisyNode:
        if (std::sscanf(optarg, "%d,%d,%d", &defects.noisy_tx, &defects.noisy_rx, &defects.noise) != 3) {
          std::fprintf(stderr, "tmode-sim: --noisy-node takes T,R,D\n");
          return 2;
        }
        break;
      case kDeadChip: defects.dead_chip = std::atoi(optarg); break;
      case kCorruptWaveform: defects.corrupt_waveform_reads = std::atoi(optarg); break;
      case kLostReport: defects.lost_report = std::atoi(optarg); break;
      case kNoEndReport: defects.missing_end_report = true; break;
      case kFrameMs: state.stream.interval_ms = std::atoi(optarg); break;
      case 'h': print_usage(); return 0;
      default: print_usage(); return 2;
    }
  }
  std::vector<std::string> command(argv + optind, argv + argc);
  if (!tmode::sim::apply_panel_geometry(state)) {
    std::fprintf(stderr, "tmode-sim: the panel does not fit the controller (at most 130 driving, "
                         "170 sensing lines, 1 to 4 sensing chips)\n");
    return 2;
  }

  // The simulator's thread inherits this mask; signals are taken by sigwait.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  tmode::sim::Simulator simulator(state);
  if (tracing) simulator.set_trace(stderr);
  simulator.set_padding(!unpadded);
  const bool started = socket_path.empty() ? simulator.start_pty() : simulator.start_socket(socket_path);
  if (!started) {
    std::fprintf(stderr, "tmode-sim: cannot start: %s\n", std::strerror(errno));
    return 1;
  }
  const std::string path = socket_path.empty() ? simulator.pty_path() : socket_path;
  if (!link_path.empty()) {
    bool linked;
    if (socket_path.empty()) {
      simulator.set_node_link(link_path);
      char target[256];
      linked = ::readlink(link_path.c_str(), target, sizeof target) > 0;
    } else {
      ::unlink(link_path.c_str());
      linked = ::symlink(path.c_str(), link_path.c_str()) == 0;
    }
    if (!linked) {
      std::fprintf(stderr, "tmode-sim: cannot link %s: %s\n", link_path.c_str(), std::strerror(errno));
      return 1;
    }
  }

  int status = 0;
  if (!command.empty()) {
    status = run_command(command, path);
  } else {
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    int received;
    sigwait(&stop_signals, &received);
  }
  if (!link_path.empty()) ::unlink(link_path.c_str());
  simulator.stop();
  return status;
}
