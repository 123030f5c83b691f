// tmode test and tmode calibrate: the sensor tester's runs from a shell.
// The runs write their blocks to the library's main log; tmode keeps that
// log in a scratch directory, shows it on request and appends it to the
// file the user names.
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/tmode_block_progress.h"
#include "app/tmode_commands.h"
#include "app/tmode_library_lines.h"
#include "app/tmode_scratch_logs.h"
#include "diagnostics/bias_test.h"
#include "diagnostics/open_short_tests.h"
#include "diagnostics/sensor_tests.h"
#include "diagnostics/stable_test.h"
#include "link/link.h"
#include "maintenance/parameter_images.h"
#include "paramfile/hardware_block_pack.h"
#include "tester/test_operations.h"
#include "tester/tuner_log.h"
#include "tester/tuner_preparation.h"
#include "tuning/calibration.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

// Comma-separated whole numbers, exactly `count` of them, each in [low, high].
bool parse_list(const std::string& text, size_t count, long low, long high, std::vector<long>& values) {
  values.clear();
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    long value = 0;
    if (!parse_number(text.substr(start, comma - start), low, high, value)) return false;
    values.push_back(value);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values.size() == count;
}

// A file the user named must be there: the library takes a missing tuning
// file for its defaults.
bool regular_file(const std::string& path) {
  struct stat info{};
  if (stat(path.c_str(), &info) != 0) {
    report_error("%s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    report_error("%s: not a regular file", path.c_str());
    return false;
  }
  return true;
}

// The lines of the main log that say how a test or the calibration ended
// ("Open Test Rx PASS", "Mutual Cap Test Fail", "Calibration Pass", ...): a
// summary that needs no knowledge of each block's layout.
std::vector<std::string> verdict_lines(const std::string& log) {
  std::vector<std::string> verdicts;
  for (std::string line : log_lines(log)) {
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line.find(',') != std::string::npos) continue;
    line.erase(0, first);
    // A stamp the library writes right behind a verdict is not part of it.
    if (const size_t stamp = line.find(" TimeStamp @"); stamp != std::string::npos) line.erase(stamp);
    line.erase(line.find_last_not_of(' ') + 1);
    const bool subject = line.find("Test") != std::string::npos || starts_with(line, "Calibrat");
    bool outcome = false;
    for (const char* word : {"PASS", "FAIL", "Pass", "Fail", "pass", "fail"}) {
      outcome = outcome || line.find(word) != std::string::npos;
    }
    if (subject && outcome) verdicts.push_back(line);
  }
  return verdicts;
}

// The rows of the log's blocks that judge one channel or node: comma-
// separated fields ending in Pass or Fail ("ShortTest,Rx[ 3 ],-100,Fail",
// "Rx[0],0,Pass"). Each gives its channel (the first field naming a Tx or
// Rx line, when one does), its fields and its result.
json channel_rows(const std::string& log) {
  json rows = json::array();
  for (const std::string& line : log_lines(log)) {
    if (line.find(',') == std::string::npos) continue;
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
      const size_t comma = line.find(',', start);
      fields.push_back(line.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    while (!fields.empty() && fields.back().empty()) fields.pop_back();
    if (fields.size() < 2) continue;
    std::string result = fields.back();
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (result != "pass" && result != "fail") continue;
    json channel = nullptr;
    for (const std::string& field : fields) {
      const size_t at = field.find_first_not_of(' ');
      if (at != std::string::npos && (field.compare(at, 3, "Rx[") == 0 || field.compare(at, 3, "Tx[") == 0 ||
                                      field.compare(at, 3, "RX[") == 0 || field.compare(at, 3, "TX[") == 0)) {
        channel = field.substr(at);
        break;
      }
    }
    rows.push_back({{"channel", channel}, {"fields", fields}, {"result", result}});
  }
  return rows;
}

// Where a run's main log goes once the run is over, and how the result is
// shown.
struct Report {
  explicit Report(const Globals& g) : globals(g) {}
  const Globals& globals;
  std::string log_file;  // appended to; empty: none
  bool show_log = false;

  int finish(const char* what, bool passed, const std::string& log, json details) const {
    if (!log_file.empty() && !write_text_file(log_file, log, true)) return kExitFileRefused;
    const std::vector<std::string> verdicts = verdict_lines(log);
    if (globals.json) {
      details["test"] = what;
      details["passed"] = passed;
      details["verdicts"] = verdicts;
      details["channels"] = channel_rows(log);
      details["log"] = log;
      print_json(details.dump(2));
    } else {
      if (show_log) std::fwrite(log.data(), 1, log.size(), stdout);
      if (!globals.quiet) {
        for (const std::string& line : verdicts) std::printf("  %s\n", line.c_str());
      }
      std::printf("%s: %s\n", what, passed ? "pass" : "fail");
    }
    return passed ? kExitOk : kExitTestFailed;
  }
};

// The options every run takes: --log FILE and --show-log. False when
// args[i] is neither; `i` moves past what was taken.
bool take_report_option(const Arguments& args, size_t& i, Report& report) {
  if (args[i] == "--log" && i + 1 < args.size() && !args[i + 1].empty()) {
    report.log_file = absolute_path(args[++i]);
    return true;
  }
  if (args[i] == "--show-log") {
    report.show_log = true;
    return true;
  }
  return false;
}

// A numeric option: its name, where its value goes and the range it takes.
struct NumberOption {
  const char* name;
  long* value;
  long low;
  long high;
};

// Takes args[from] onward as report options and the numeric options given;
// false at the first argument that is neither, or a value out of range.
bool take_options(const Arguments& args, size_t from, Report& report, const std::vector<NumberOption>& options) {
  for (size_t i = from; i < args.size(); ++i) {
    if (take_report_option(args, i, report)) continue;
    const NumberOption* found = nullptr;
    for (const NumberOption& option : options) {
      if (args[i] == option.name) found = &option;
    }
    if (found == nullptr || i + 1 >= args.size() ||
        !parse_number(args[i + 1], found->low, found->high, *found->value)) {
      return false;
    }
    ++i;
  }
  return true;
}

constexpr const char* kTestUsage =
    "expected open|short|mutual|all --ini FILE [--channel N] [--open-values T,R,O,DT,DR,E] "
    "[--short-arg N] [--mutual-arg N] [--mutual-values A,B,C] [--log FILE] [--show-log], "
    "or sensor N --threshold T [--corner C] [--scaling S] [--parameter P] [--log FILE] [--show-log], "
    "or bias --threshold PCT [--frames N], or stability --threshold SPAN [--first C --last C]";

// tmode test sensor N: one of the controller's sensor tests 1 to 4.
int run_sensor_test_command(const Globals& globals, const Arguments& args) {
  Report report(globals);
  long number = 0, threshold = -1, corner = 0, scaling = 1, parameter = 0;
  if (args.size() < 2 || !parse_number(args[1], 1, 4, number)) return usage_error("test", kTestUsage);
  if (!take_options(args, 2, report,
                    {{"--threshold", &threshold, 0, 65535},
                     {"--corner", &corner, 0, 65535},
                     {"--scaling", &scaling, 0, 65535},
                     {"--parameter", &parameter, 0, 65535}})) {
    return usage_error("test", kTestUsage);
  }
  if (threshold < 0) return usage_error("test", kTestUsage);

  Session session(globals);
  LibraryLines lines(globals);
  char model[32], type[32];
  if (const int opened = open_identified(session, model, type); opened != kExitOk) return opened;
  // The channel ranges come from the controller's hardware block.
  session.begin_call();
  if (load_parameter_images(1) != 0) return session.failure("read the parameter blocks");
  ScratchLogs logs;
  if (!logs.ready_for("test")) return kExitFileRefused;
  session.begin_call();
  const int result = run_sensor_test(0, 0, static_cast<int>(parameter), static_cast<int>(number - 1),
                                     static_cast<int>(threshold), static_cast<int>(corner), static_cast<int>(scaling));
  lines.end_line();
  if (!link_is_open()) return session.failure("test");
  const std::string log = logs.take();
  if (result != 0 && log.empty()) return session.failure("sensor test");
  const std::string name = "sensor " + std::to_string(number);
  return report.finish(name.c_str(), result == 0, log, json{{"number", number}});
}

// tmode test bias|stability: the hardware bias test or the single-end
// stability test alone, on a Tuner with the controller's hardware block,
// as the calibration run does after calibrating.
int run_tuner_test_command(const Globals& globals, const Arguments& args) {
  const bool bias = args[0] == "bias";
  Report report(globals);
  long threshold = -1, frames = 4, first = 0, last = 0;
  std::vector<NumberOption> options = {{"--threshold", &threshold, 0, 65535}};
  if (bias) {
    options.push_back({"--frames", &frames, 1, 255});
  } else {
    options.push_back({"--first", &first, 0, 255});
    options.push_back({"--last", &last, 0, 255});
  }
  if (!take_options(args, 1, report, options)) return usage_error("test", kTestUsage);
  if (threshold < 0) return usage_error("test", kTestUsage);

  Session session(globals);
  LibraryLines lines(globals);
  char model[32], type[32];
  if (const int opened = open_identified(session, model, type); opened != kExitOk) return opened;
  ScratchLogs logs;
  if (!logs.ready_for("test")) return kExitFileRefused;
  TunerPtr tuner = create_tuner();
  if (!tuner) {
    report_error("test: out of memory");
    return kExitFileRefused;
  }
  prepare_tuner(*tuner);
  prepare_calibration(*tuner);
  session.begin_call();
  if (load_hardware_block_from_controller(*tuner) == 0) return session.failure("load hardware parameters");
  // A frame an earlier operation left marked ready is not this test's.
  clear_tuner_frame_flags();
  int result = 0;
  {
    TunerLogScope log(*tuner);
    session.begin_call();
    if (bias) {
      tuner->bias.threshold = static_cast<int32_t>(threshold);
      tuner->bias.repeat_count = static_cast<uint8_t>(frames);
      result = hw_bias_test(*tuner);
    } else {
      tuner->stable.threshold = static_cast<int32_t>(threshold);
      tuner->stable.first_rx = static_cast<uint8_t>(first);
      tuner->stable.last_rx = static_cast<uint8_t>(last);
      result = single_end_stable_test(*tuner);
    }
  }
  clear_tuner_frame_flags();
  lines.end_line();
  if (!link_is_open()) return session.failure("test");
  const std::string log = logs.take();
  return report.finish(bias ? "bias" : "stability", result == 0, log, json{{"threshold", threshold}});
}

}  // namespace

int run_test(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] test open|short|mutual|all --ini FILE [options]\n"
              "Runs the sensor tests of the tuning parameter file FILE on the attached\n"
              "controller: the open test, the short test, the mutual-capacitance test, or\n"
              "all three (the file's test selection decides which of them run).\n"
              "  --channel N             the open test's channel argument (default 0)\n"
              "  --open-values T,R,O,DT,DR,E\n"
              "                          the open test's Tx and Rx thresholds, option\n"
              "                          threshold, Tx and Rx neighbour differences and edge\n"
              "                          tolerance (default 1000,1000,1000,300,300,0)\n"
              "  --short-arg N           the short test's argument (default 0)\n"
              "  --mutual-arg N          the mutual-capacitance test's argument (default 0)\n"
              "  --mutual-values A,B,C   its threshold and two tolerances (default 20,0,0)\n"
              "  --log FILE              append the run's main log to FILE\n"
              "  --show-log              print the main log before the verdict\n"
              "       tmode [global options] test sensor N --threshold T [options]\n"
              "Runs the controller's sensor test N (1 to 4) with threshold T:\n"
              "  --corner C              test 3's corner tolerance (default 0)\n"
              "  --scaling S             the raw scaling (default 1)\n"
              "  --parameter P           the parameter sent with the test (default 0)\n"
              "       tmode [global options] test bias --threshold PCT [--frames N]\n"
              "       tmode [global options] test stability --threshold SPAN [--first C --last C]\n"
              "Runs the hardware bias test (spread of each node over N raw and N open-test\n"
              "frames, default 4, in tenths of a percent against PCT) or the single-end\n"
              "stability test (span of Rx channels C to L over 100 scans against SPAN;\n"
              "0, 0 takes the range from the hardware parameters) alone.\n"
              "Prints the verdict lines of the log and \"TEST: pass\" or \"TEST: fail\"; exit\n"
              "status 7 when a test failed. No log file is left in the working directory.");
    return kExitOk;
  }
  if (args.empty()) return usage_error("test", kTestUsage);
  const std::string which = args[0];
  if (which == "sensor") return run_sensor_test_command(globals, args);
  if (which == "bias" || which == "stability") return run_tuner_test_command(globals, args);
  if (which != "open" && which != "short" && which != "mutual" && which != "all") {
    return usage_error("test", kTestUsage);
  }
  Report report{globals};
  std::string ini;
  long channel = 0, short_arg = 0, mutual_arg = 0;
  std::vector<long> open_values = {1000, 1000, 1000, 300, 300, 0};
  std::vector<long> mutual_values = {20, 0, 0};
  for (size_t i = 1; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (take_report_option(args, i, report)) continue;
    if (args[i] == "--ini" && has_value && !args[i + 1].empty()) {
      ini = absolute_path(args[++i]);
    } else if (args[i] == "--channel" && has_value && parse_number(args[i + 1], 0, 65535, channel)) {
      ++i;
    } else if (args[i] == "--short-arg" && has_value && parse_number(args[i + 1], 0, 65535, short_arg)) {
      ++i;
    } else if (args[i] == "--mutual-arg" && has_value && parse_number(args[i + 1], 0, 65535, mutual_arg)) {
      ++i;
    } else if (args[i] == "--open-values" && has_value && parse_list(args[i + 1], 6, 0, 65535, open_values)) {
      ++i;
    } else if (args[i] == "--mutual-values" && has_value && parse_list(args[i + 1], 3, 0, 65535, mutual_values)) {
      ++i;
    } else {
      return usage_error("test", kTestUsage);
    }
  }
  if (ini.empty()) return usage_error("test", kTestUsage);
  if (!regular_file(ini)) return kExitFileRefused;

  Session session(globals);
  LibraryLines lines(globals);
  char model[32], type[32];
  if (const int opened = open_identified(session, model, type); opened != kExitOk) return opened;
  ScratchLogs logs;
  if (!logs.ready_for("test")) return kExitFileRefused;
  const OpenTestValues values{static_cast<int>(open_values[0]), static_cast<int>(open_values[1]),
                              static_cast<int>(open_values[2]), static_cast<int>(open_values[3]),
                              static_cast<int>(open_values[4]), static_cast<int>(open_values[5])};
  const int mutual[3] = {static_cast<int>(mutual_values[0]), static_cast<int>(mutual_values[1]),
                         static_cast<int>(mutual_values[2])};
  session.begin_call();
  int result = 0;
  if (which == "open") {
    result = run_open_test(0, 0, ini.c_str(), static_cast<int>(channel), values);
  } else if (which == "short") {
    result = run_short_test(0, 0, ini.c_str(), static_cast<int>(short_arg));
  } else if (which == "mutual") {
    result = run_mutual_cap_test(0, 0, ini.c_str(), static_cast<int>(mutual_arg), mutual);
  } else {
    result = run_diagnostic_tests(0, 0, ini.c_str(), static_cast<int>(channel), values);
  }
  lines.end_line();
  if (!link_is_open()) return session.failure("test");
  const std::string log = logs.take();
  // The runs give 0 also when the hardware parameters could not be read:
  // then they wrote no log at all.
  if (log.empty()) return session.failure("load hardware parameters");
  return report.finish(which.c_str(), result == 0, log, json::object());
}

int run_calibrate(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] calibrate [options]\n"
              "Calibrates the sensing chips and stores the calibration in the controller's\n"
              "hardware parameters, then runs the tests asked for:\n"
              "  --bias PCT        the hardware bias test, PCT its threshold\n"
              "  --stability SPAN  the single-end stability test, SPAN its threshold\n"
              "  --level N         the controller level the calibration assumes (default:\n"
              "                    the level the controller reports)\n"
              "  --preset N        the frequency-preset option (default 0)\n"
              "  --tolerance N     the calibration tolerance, CalTolerance2 (default 25)\n"
              "  --log FILE        append the run's main log to FILE\n"
              "  --show-log        print the main log before the verdict\n"
              "Exit status 7 when the calibration or a test failed.");
    return kExitOk;
  }
  Report report{globals};
  long bias = -1, stability = -1, level = -1, preset = 0, tolerance = 25;
  if (!take_options(args, 0, report,
                    {{"--bias", &bias, 0, 65535},
                     {"--stability", &stability, 0, 65535},
                     {"--level", &level, 0, 65535},
                     {"--preset", &preset, 0, 65535},
                     {"--tolerance", &tolerance, 0, 65535}})) {
    return usage_error("calibrate", "expected [--bias PCT] [--stability SPAN] [--level N] [--preset N] "
                                    "[--tolerance N] [--log FILE] [--show-log]");
  }

  Session session(globals);
  LibraryLines lines(globals);
  char model[32], type[32];
  if (const int opened = open_identified(session, model, type); opened != kExitOk) return opened;
  if (level < 0) {
    if (const int read = read_level(session, level); read != kExitOk) return read;
  }
  ScratchLogs logs;
  if (!logs.ready_for("calibrate")) return kExitFileRefused;
  const int bits = (bias >= 0 ? 0x80 : 0) | (stability >= 0 ? 0x800 : 0);
  // The calibration stores the hardware block as it goes.
  BlockProgress progress(globals, BlockProgress::Shown::kHardwareWrites, kHardwareBlockSize, &lines);
  session.begin_call();
  const int result = run_calibration_tests(0, 0, static_cast<int>(level), bits, bias < 0 ? 0 : static_cast<int>(bias),
                                           stability < 0 ? 0 : static_cast<int>(stability),
                                           static_cast<int>(preset), static_cast<int>(tolerance));
  lines.end_line();
  if (!link_is_open()) return session.failure("calibrate");
  const std::string log = logs.take();
  if (log.empty()) return session.failure("load hardware parameters");
  json details = {{"controller_level", level},
                  {"bias_test", bias >= 0},
                  {"stability_test", stability >= 0}};
  return report.finish("calibrate", result == 0, log, details);
}

}  // namespace tmode::cli
