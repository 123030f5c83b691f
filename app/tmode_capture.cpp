// tmode capture: image frames of one data type, each captured into the
// library's image-data record; frames shown as text or JSON, records
// appended to a file on request.
#include <nlohmann/json.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/tmode_commands.h"
#include "app/tmode_library_lines.h"
#include "app/tmode_progress.h"
#include "app/tmode_scratch_logs.h"
#include "diagnostics/image_capture.h"
#include "link/link.h"
#include "maintenance/parameter_images.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

struct DataType {
  const char* name;
  int code;
};
// The image data types of the records, by the names tmode gives them.
const DataType kDataTypes[] = {
    {"raw-l2", 0},        {"cook-l2", 1},     {"stray-l2", 2},    {"raw", 3},          {"touch-signal", 4},
    {"uniformity", 5},    {"cook", 6},        {"unifor-test", 9}, {"unifor-cook", 10}, {"touch-info", 11},
    {"sat-l2-abs", 112},  {"sat-l2-max", 113}, {"sat-l2-min", 114}, {"sat-abs", 128},   {"sat-max", 129},
    {"sat-min", 130},
};

const DataType* find_type(const std::string& word) {
  for (const DataType& t : kDataTypes) {
    if (word == t.name || word == std::to_string(t.code)) return &t;
  }
  return nullptr;
}

// Set by SIGINT or SIGTERM: a capture ends after its frame, with the stream
// stopped and the frames so far shown.
volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int signal_number) {
  stop_requested = 1;
  std::signal(signal_number, SIG_DFL);  // a second one ends the program at once
}

std::vector<std::string> split_line(const std::string& line, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t at; (at = line.find(separator, start)) != std::string::npos; start = at + 1) {
    fields.push_back(line.substr(start, at - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// One image-data record read back into its fields: the header's frequency
// index and error code, the rows of values per Rx channel with the names of
// their columns, or the touch information.
json parse_record(const std::string& record) {
  json frame = {{"frequency_index", nullptr}, {"error_code", nullptr}};
  json rows = json::array();
  json columns = json::array();
  json touch = json::object();
  bool touch_record = false;
  bool touch_error = false;
  for (const std::string& line : log_lines(record)) {
    if (starts_with(line, "Freqency Index:,")) {
      frame["frequency_index"] = std::atoi(line.c_str() + 16);
    } else if (starts_with(line, "Error Code:,")) {
      frame["error_code"] = line.substr(12);
    } else if (starts_with(line, "Data Mode:,")) {
      frame["data_mode"] = line.substr(11);
    } else if (starts_with(line, "Rx[")) {
      const std::vector<std::string> fields = split_line(line, ',');
      json values = json::array();
      for (size_t i = 1; i < fields.size(); ++i) values.push_back(std::atoi(fields[i].c_str()));
      rows.push_back(values);
    } else if (starts_with(line, ",Noise,")) {
      for (const std::string& name : split_line(line.substr(1), ',')) {
        if (!name.empty()) columns.push_back(name);
      }
    } else if (line == "Touch Info:") {
      touch_record = true;
    } else if (line == "Get Touch Info Error!!") {
      touch_error = true;
    } else if (touch_record && line.size() > 1 && line[0] == ',') {
      const size_t colon = line.find(":,,");
      if (colon != std::string::npos) touch[line.substr(1, colon - 1)] = std::atoi(line.c_str() + colon + 3);
    }
  }
  if (touch_record) {
    frame["touch_info"] = touch_error ? json(nullptr) : touch;
  } else {
    frame["columns"] = columns;
    frame["rx"] = rows;
  }
  return frame;
}

void print_frame_text(int number, const DataType& type, const json& frame) {
  std::printf("frame %d: %s, frequency index %s, error code %s\n", number, type.name,
              frame["frequency_index"].dump().c_str(),
              frame["error_code"].is_string() ? frame["error_code"].get<std::string>().c_str() : "unknown");
  if (frame.contains("touch_info")) {
    if (frame["touch_info"].is_null()) {
      std::puts("touch information: none received");
      return;
    }
    for (const auto& [key, value] : frame["touch_info"].items()) std::printf("%s: %s\n", key.c_str(), value.dump().c_str());
    return;
  }
  std::fputs("       ", stdout);
  for (const json& column : frame["columns"]) std::printf(" %s", column.get<std::string>().c_str());
  std::fputc('\n', stdout);
  int rx = 0;
  for (const json& row : frame["rx"]) {
    std::printf("Rx[%02d]", rx++);
    for (const json& value : row) std::printf(" %d", value.get<int>());
    std::fputc('\n', stdout);
  }
}

const char kUsage[] = "expected TYPE [--count N | --continuous] [--out FILE]";

}  // namespace

int run_capture(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] capture TYPE [--count N | --continuous] [--out FILE]\n"
              "Captures N frames (default 1), or frames until Ctrl-C with --continuous, each\n"
              "into the library's image-data record of TYPE. Without --out the frames are\n"
              "printed (text or JSON); with --out each record is appended to FILE as the\n"
              "library writes it. Each frame is a capture of its own: the data stream is\n"
              "selected, one frame collected (at most 5 s) and the stream stopped again.\n"
              "Ctrl-C ends the capture after its frame: --continuous exits with 0, a\n"
              "counted capture cut short with 130; the frames so far are shown.\n"
              "TYPE, by name or code: raw-l2 0, cook-l2 1, stray-l2 2, raw 3, touch-signal 4,\n"
              "uniformity 5, cook 6, unifor-test 9, unifor-cook 10, touch-info 11,\n"
              "sat-l2-abs 112, sat-l2-max 113, sat-l2-min 114, sat-abs 128, sat-max 129,\n"
              "sat-min 130.");
    return kExitOk;
  }
  if (args.empty()) return usage_error("capture", kUsage);
  const DataType* type = find_type(args[0]);
  if (type == nullptr) return usage_error("capture", "unknown TYPE");
  long count = 1;
  bool count_given = false;
  bool continuous = false;
  std::string out;
  for (size_t i = 1; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--count" && has_value && parse_number(args[i + 1], 1, 1000000, count)) {
      count_given = true;
      ++i;
    } else if (args[i] == "--out" && has_value && !args[i + 1].empty()) {
      out = absolute_path(args[++i]);
    } else if (args[i] == "--continuous") {
      continuous = true;
    } else {
      return usage_error("capture", kUsage);
    }
  }
  if (continuous && count_given) return usage_error("capture", "--count and --continuous exclude each other");

  FILE* out_file = nullptr;
  if (!out.empty() && (out_file = std::fopen(out.c_str(), "ab")) == nullptr) {
    report_error("%s: %s", out.c_str(), std::strerror(errno));
    return kExitFileRefused;
  }
  struct Closer {
    FILE*& file;
    ~Closer() {
      if (file != nullptr) std::fclose(file);
    }
  } closer{out_file};

  Session session(globals);
  // Standard output holds the frames: the library's messages go to standard
  // error.
  LibraryLines lines(globals, LibraryLines::Output::kValues);
  char model[32], type_name[32];
  if (const int opened = open_identified(session, model, type_name); opened != kExitOk) return opened;
  // The data types depend on the model, and the record's layout on the
  // software block's water-line setting.
  session.begin_call();
  if (load_parameter_images(1) != 0) return session.failure("read the parameter blocks");

  ScratchLogs logs;
  if (!logs.ready_for("capture")) return kExitFileRefused;
  struct ImageBuffer {
    ImageBuffer() { alloc_image_buffer(0, 0); }
    ~ImageBuffer() { free_image_buffer(0, 0); }
  } buffer;

  const bool frames_on_stdout = !globals.json && out_file == nullptr;
  ProgressDisplay progress(Globals{globals.device, globals.trace, globals.json,
                                   globals.quiet || frames_on_stdout || continuous || count < 2},
                           "capture");
  std::signal(SIGINT, request_stop);
  std::signal(SIGTERM, request_stop);
  json frames = json::array();
  long captured = 0;
  for (long n = 0; stop_requested == 0 && (continuous || n < count); ++n) {
    progress.update(n, count);
    session.begin_call();
    capture_image_record(0, 0, type->code);
    if (!link_is_open()) return session.failure("capture");
    const std::string record = logs.take();
    if (record.empty()) {
      report_error("capture %s: no record written (a data type this controller model does not have, or no "
                   "frame buffer)",
                   type->name);
      return kExitRefused;
    }
    if (out_file != nullptr && std::fwrite(record.data(), 1, record.size(), out_file) != record.size()) {
      report_error("%s: %s", out.c_str(), std::strerror(errno));
      return kExitFileRefused;
    }
    json frame = parse_record(record);
    if (frames_on_stdout) {
      print_frame_text(static_cast<int>(n + 1), *type, frame);
      std::fflush(stdout);
    }
    if (globals.json) frames.push_back(std::move(frame));
    ++captured;
  }
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  // Ctrl-C is how a continuous capture ends; a counted one it cuts short.
  const bool interrupted = stop_requested != 0 && !continuous;
  if (!interrupted) progress.finish();
  if (out_file != nullptr && std::fflush(out_file) != 0) {
    report_error("%s: %s", out.c_str(), std::strerror(errno));
    return kExitFileRefused;
  }

  if (globals.json) {
    json doc = {{"type", type->name}, {"code", type->code}, {"frames", frames}};
    if (out_file != nullptr) doc["out"] = out;
    print_json(doc.dump(2));
  } else if (out_file != nullptr && !globals.quiet) {
    std::printf("%ld %s record%s appended to %s\n", captured, type->name, captured == 1 ? "" : "s", out.c_str());
  }
  if (interrupted) {
    report_error("capture: interrupted after %ld of %ld frames", captured, count);
    return kExitInterrupted;
  }
  return kExitOk;
}

}  // namespace tmode::cli
