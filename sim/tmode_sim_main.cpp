// tmode-sim: the simulated touch controller as a program.
#include <getopt.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "sim/fault_options.h"
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
      "  --uniformity-block FILE  the uniformity block (parameter block type 2): the\n"
      "                   file's bytes, 1024 to 6144 of them\n"
      "  --level N        controller level ('?','X' byte 0; 0 scans one delay at a time)\n"
      "  --open-tx N, --open-rx N   an open line (reads 200 in the open-test frame)\n"
      "  --dip-rx N       a sensing line reading 900 in the open-test frame\n"
      "  --short-tx N, --short-rx N a shorted line (short-test value -100)\n"
      "  --noisy-node T,R,D  node (T, R) moves by +/-D per scan and frame\n"
      "  --noise-spike T,R,D,K  node (T, R) jumps by D on one scan or frame stream in every K\n"
      "  --dead-chip N    a sensing chip whose register commands fail\n"
      "  --corrupt-waveform N  the next N waveform read-backs are wrong\n"
      "  --lost-report N  'J' report N of every frame is never sent\n"
      "  --endless-frame  the last 'J' report of every frame is never sent\n"
      "  --outside-report every frame carries a report past its last line and one past its last channel\n"
      "  --stream-reports N  a frame stream falls silent after N reports (mid-frame too)\n"
      "  --no-end-report  the short test never ends\n"
      "  --frame-ms N     time between two streamed frames (default 5)\n"
      "  --replay FILE    answer as the controller of a recorded report trace did\n"
      "                   (a command off the recording goes unanswered; exit 3)\n"
      "  --record FILE    write the session to FILE in that trace format\n"
      "\n"
      "Faults (CMD is the command's first byte or two in hex, as the trace shows\n"
      "them after the report id and length, e.g. 3F or 3F65, or \"any\"; the\n"
      "options may repeat, and the first that matches a command applies):\n"
      "  --no-reply CMD[,N]    leave the first N such commands (default: all) unanswered\n"
      "  --late CMD,MS[,N]     send the replies to them MS milliseconds late\n"
      "  --vanish-after N      answer N commands, then take the node away at the next\n"
      "  --report-after CMD    send the report '?','Q' 0, 2 right behind each reply to\n"
      "                        CMD, in the same write\n"
      "  --flood RATE[,MS]     send that report RATE times a second for MS ms\n"
      "                        (default 10000), unasked\n"
      "\n"
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

// A parameter block from a file of its bytes: 1024 to 6144 of them.
bool read_block_file(const char* path, std::vector<uint8_t>& block) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::vector<uint8_t> bytes(6145);
  const size_t n = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  if (n < 1024 || n > 6144) return false;
  bytes.resize(n);
  block = std::move(bytes);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kSocket = 1, kLink, kType, kModel, kFirmware, kMode, kModes, kUnpadded, kTrace, kRestart,
    kNoReply, kLate, kVanishAfter, kReportAfter, kFlood,
    kTx, kRx, kChips, kExtraLines, kCalConstant, kPlateaus, kFlat, kLevel, kOpenTx, kOpenRx, kDipRx,
    kShortTx, kShortRx, kNoisyNode, kDeadChip, kCorruptWaveform, kLostReport, kNoEndReport, kFrameMs,
    kEndlessFrame, kOutsideReport, kStreamReports, kReplay, kRecord, kNoiseSpike,
    kUniformityBlock = 200
  };
  const option options[] = {
      {"socket", required_argument, nullptr, kSocket}, {"link", required_argument, nullptr, kLink},
      {"type", required_argument, nullptr, kType},     {"model", required_argument, nullptr, kModel},
      {"firmware", required_argument, nullptr, kFirmware},
      {"mode", required_argument, nullptr, kMode},     {"modes", required_argument, nullptr, kModes},
      {"unpadded", no_argument, nullptr, kUnpadded},   {"trace", no_argument, nullptr, kTrace},
      {"restart-ms", required_argument, nullptr, kRestart},
      {"no-reply", required_argument, nullptr, kNoReply}, {"late", required_argument, nullptr, kLate},
      {"vanish-after", required_argument, nullptr, kVanishAfter},
      {"report-after", required_argument, nullptr, kReportAfter},
      {"flood", required_argument, nullptr, kFlood},
      {"tx", required_argument, nullptr, kTx},         {"rx", required_argument, nullptr, kRx},
      {"chips", required_argument, nullptr, kChips},   {"extra-lines", required_argument, nullptr, kExtraLines},
      {"cal-constant", required_argument, nullptr, kCalConstant},
      {"plateaus", no_argument, nullptr, kPlateaus},   {"flat", no_argument, nullptr, kFlat},
      {"level", required_argument, nullptr, kLevel},
      {"open-tx", required_argument, nullptr, kOpenTx}, {"open-rx", required_argument, nullptr, kOpenRx},
      {"dip-rx", required_argument, nullptr, kDipRx},
      {"short-tx", required_argument, nullptr, kShortTx}, {"short-rx", required_argument, nullptr, kShortRx},
      {"noisy-node", required_argument, nullptr, kNoisyNode},
      {"noise-spike", required_argument, nullptr, kNoiseSpike},
      {"dead-chip", required_argument, nullptr, kDeadChip},
      {"corrupt-waveform", required_argument, nullptr, kCorruptWaveform},
      {"lost-report", required_argument, nullptr, kLostReport},
      {"no-end-report", no_argument, nullptr, kNoEndReport},
      {"endless-frame", no_argument, nullptr, kEndlessFrame},
      {"outside-report", no_argument, nullptr, kOutsideReport},
      {"stream-reports", required_argument, nullptr, kStreamReports},
      {"frame-ms", required_argument, nullptr, kFrameMs},
      {"replay", required_argument, nullptr, kReplay},
      {"record", required_argument, nullptr, kRecord},
      {"uniformity-block", required_argument, nullptr, kUniformityBlock},
      {"help", no_argument, nullptr, 'h'},             {nullptr, 0, nullptr, 0}};

  tmode::sim::ControllerState state;
  std::string socket_path;
  std::string link_path;
  std::string replay_path;
  std::string record_path;
  bool unpadded = false;
  bool tracing = false;
  std::vector<tmode::sim::Fault> faults;
  int vanish_after = -1;
  int flood_rate = 0;
  int flood_ms = 0;
  int number = 0;
  tmode::sim::Fault fault;
  // A value that is not what its option takes is refused, never read as 0.
  auto refuse = [&](const char* name) {
    std::fprintf(stderr, "tmode-sim: invalid value for --%s: '%s'\n", name, optarg);
    return 2;
  };
  tmode::sim::SensorPanel& panel = state.panel;
  tmode::sim::PanelDefects& defects = panel.defects;
  // A whole number in range for a panel option, or the option is refused.
  auto take = [&](int low, int high, int& out) {
    if (!tmode::sim::parse_number(optarg, low, high, number)) return false;
    out = number;
    return true;
  };
  int option;
  // "+": stop at the first word that is not an option, so the command keeps its own.
  while ((option = getopt_long(argc, argv, "+h", options, nullptr)) != -1) {
    switch (option) {
      case kSocket: socket_path = optarg; break;
      case kLink: link_path = optarg; break;
      case kType: state.type_name = optarg; break;
      case kModel: state.model_name = optarg; break;
      case kFirmware: state.firmware_version = optarg; break;
      case kMode:
        if (!tmode::sim::parse_number(optarg, 0, 255, number)) return refuse("mode");
        state.touch_mode = static_cast<uint8_t>(number);
        break;
      case kModes:
        if (!tmode::sim::parse_number(optarg, 0, 255, number)) return refuse("modes");
        state.mode_count = number;
        break;
      case kUnpadded: unpadded = true; break;
      case kTrace: tracing = true; break;
      case kRestart:
        if (!tmode::sim::parse_number(optarg, 0, 600000, number)) return refuse("restart-ms");
        state.family.node_gone_ms = number;
        break;
      case kNoReply:
        if (!tmode::sim::parse_no_reply(optarg, fault)) return refuse("no-reply");
        faults.push_back(fault);
        break;
      case kLate:
        if (!tmode::sim::parse_late_reply(optarg, fault)) return refuse("late");
        faults.push_back(fault);
        break;
      case kVanishAfter:
        if (!tmode::sim::parse_number(optarg, 0, 1000000, vanish_after)) return refuse("vanish-after");
        break;
      case kReportAfter:
        if (!tmode::sim::parse_report_after(optarg, fault)) return refuse("report-after");
        faults.push_back(fault);
        break;
      case kFlood:
        if (!tmode::sim::parse_flood(optarg, flood_rate, flood_ms)) return refuse("flood");
        break;
      case kTx: if (!take(1, 255, panel.tx_lines)) return refuse("tx"); break;
      case kRx: if (!take(1, 255, panel.rx_lines)) return refuse("rx"); break;
      case kChips: if (!take(1, 4, panel.sensing_chips)) return refuse("chips"); break;
      case kExtraLines: if (!take(0, 8, panel.extra_lines)) return refuse("extra-lines"); break;
      case kCalConstant:
        if (!take(0, 30000, panel.calibration_constant)) return refuse("cal-constant");
        break;
      case kPlateaus: panel.plateaus = true; break;
      case kFlat: panel.flat = true; break;
      case kLevel:
        if (!tmode::sim::parse_number(optarg, 0, 255, number)) return refuse("level");
        state.family.level[0] = static_cast<uint8_t>(number);
        break;
      case kOpenTx: if (!take(0, 255, defects.open_tx)) return refuse("open-tx"); break;
      case kOpenRx: if (!take(0, 255, defects.open_rx)) return refuse("open-rx"); break;
      case kDipRx: if (!take(0, 255, defects.dip_rx)) return refuse("dip-rx"); break;
      case kShortTx: if (!take(0, 255, defects.short_tx)) return refuse("short-tx"); break;
      case kShortRx: if (!take(0, 255, defects.short_rx)) return refuse("short-rx"); break;
      case kNoisyNode:
        if (std::sscanf(optarg, "%d,%d,%d", &defects.noisy_tx, &defects.noisy_rx, &defects.noise) != 3) {
          return refuse("noisy-node");
        }
        break;
      case kUniformityBlock:
        if (!read_block_file(optarg, state.parameters.working[2])) return refuse("uniformity-block");
        state.parameters.committed[2] = state.parameters.working[2];
        break;
      case kNoiseSpike:
        if (!tmode::sim::parse_noise_spike(optarg, defects.sample_spike)) return refuse("noise-spike");
        break;
      case kDeadChip: if (!take(0, 3, defects.dead_chip)) return refuse("dead-chip"); break;
      case kCorruptWaveform:
        if (!take(0, 1000000, defects.corrupt_waveform_reads)) return refuse("corrupt-waveform");
        break;
      case kLostReport: if (!take(0, 100000, defects.lost_report)) return refuse("lost-report"); break;
      case kNoEndReport: defects.missing_end_report = true; break;
      case kEndlessFrame: defects.unended_frames = true; break;
      case kOutsideReport: defects.outside_reports = true; break;
      case kStreamReports:
        if (!take(0, 100000000, state.stream.report_limit)) return refuse("stream-reports");
        break;
      case kFrameMs: if (!take(1, 10000, state.stream.interval_ms)) return refuse("frame-ms"); break;
      case kReplay: replay_path = optarg; break;
      case kRecord: record_path = optarg; break;
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
  if (!replay_path.empty()) {
    tmode::sim::ReplayScript script;
    std::string error;
    if (!script.load(replay_path, &error)) {
      std::fprintf(stderr, "tmode-sim: %s\n", error.c_str());
      return 2;
    }
    simulator.set_replay(std::move(script));
  }
  FILE* record = nullptr;
  if (!record_path.empty()) {
    record = std::fopen(record_path.c_str(), "w");
    if (record == nullptr) {
      std::fprintf(stderr, "tmode-sim: cannot create %s: %s\n", record_path.c_str(), std::strerror(errno));
      return 1;
    }
    simulator.set_record(record);
  }
  if (tracing) simulator.set_trace(stderr);
  simulator.set_padding(!unpadded);
  // The vanish comes first: a command past the count is lost whatever else
  // would have matched it, and the node goes away.
  if (vanish_after >= 0) simulator.add_fault(tmode::sim::lost_after(vanish_after));
  for (tmode::sim::Fault& each : faults) simulator.add_fault(std::move(each));
  const bool started = socket_path.empty() ? simulator.start_pty() : simulator.start_socket(socket_path);
  if (!started) {
    std::fprintf(stderr, "tmode-sim: cannot start: %s\n", std::strerror(errno));
    return 1;
  }
  const std::string path = socket_path.empty() ? simulator.pty_path() : socket_path;
  if (flood_rate > 0) simulator.flood(tmode::sim::unasked_report(), flood_rate, flood_ms);
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

  std::atomic<bool> watching{true};
  std::thread watcher;
  if (vanish_after >= 0) {
    watcher = std::thread([&] {
      while (watching) {
        if (simulator.wait_for_commands(static_cast<size_t>(vanish_after) + 1, 100)) {
          simulator.vanish();
          return;
        }
      }
    });
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
  watching = false;
  if (watcher.joinable()) watcher.join();
  if (!link_path.empty()) ::unlink(link_path.c_str());
  simulator.stop();
  if (record != nullptr) std::fclose(record);
  // A replay that went off the recording says where, and fails.
  if (!replay_path.empty() && simulator.replay_mismatches() > 0) {
    std::fprintf(stderr, "tmode-sim: %zu commands off the recording; first: %s\n",
                 simulator.replay_mismatches(), simulator.replay_first_mismatch().c_str());
    if (status == 0) status = 3;
  }
  return status;
}
