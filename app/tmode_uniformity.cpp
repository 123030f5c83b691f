// tmode uniformity dump: the controller's uniformity table as the library
// dumps it, or its points in JSON.
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/tmode_commands.h"
#include "app/tmode_library_lines.h"
#include "app/tmode_scratch_logs.h"
#include "diagnostics/diagnostics_state.h"
#include "diagnostics/uniformity_creation.h"
#include "diagnostics/uniformity_table.h"
#include "link/link.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/model_image_access.h"
#include "maintenance/parameter_images.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

// The fields of a line, split at commas and tabs, empty ones dropped.
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line + ",") {
    if (c == ',' || c == '\t') {
      if (!field.empty()) fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  return fields;
}

// The dump read back: validity, threshold, the compact table's version and
// type, and per frequency its points, in the columns its header names.
json parse_dump(const std::string& dump) {
  json doc = {{"valid", false}, {"threshold", nullptr}, {"frequencies", json::array()}};
  std::vector<std::string> columns;
  for (const std::string& line : log_lines(dump)) {
    if (line == "Table is Valid.") {
      doc["valid"] = true;
    } else if (starts_with(line, "Uniformity Threshold=")) {
      doc["threshold"] = std::atoi(line.c_str() + 21);
    } else if (starts_with(line, "Table Version=")) {
      doc["version"] = std::atoi(line.c_str() + 14);
    } else if (starts_with(line, "Table Type=")) {
      doc["table_type"] = std::atoi(line.c_str() + 11);
    } else if (starts_with(line, "FreqIndex=")) {
      const std::vector<std::string> f = fields_of(line);
      const int index = std::atoi(f[0].c_str() + 10);
      const int count = f.size() > 1 && starts_with(f[1], "ValidCount=") ? std::atoi(f[1].c_str() + 11) : 0;
      doc["frequencies"].push_back({{"index", index}, {"valid_count", count}, {"points", json::array()}});
    } else if (line.find("Index") != std::string::npos && line.find("Offset") != std::string::npos) {
      columns = fields_of(line);
    } else if (!doc["frequencies"].empty() && line.find('[') != std::string::npos) {
      const std::vector<std::string> f = fields_of(line);
      json point = json::object();
      for (size_t i = 0; i < f.size() && i < columns.size(); ++i) {
        const std::string& name = columns[i];
        const std::string key = name == "TxCh" ? "tx" : name == "RxCh" ? "rx" : name == "Offset" ? "offset" : "index";
        const char* text = f[i].c_str();
        point[key] = std::atoi(text[0] == '[' ? text + 1 : text);
      }
      doc["frequencies"].back()["points"].push_back(point);
    }
  }
  return doc;
}

}  // namespace

namespace {

constexpr const char* kUniformityUsage = "expected dump [--out FILE] or create --threshold T [--kv N] [--log FILE]";

// tmode uniformity create: the table built from captures at every working
// frequency and written to the controller; the library's log of it kept.
int create_table(const Globals& globals, const Arguments& args) {
  long threshold = -1, kv = -1;
  std::string log_file;
  for (size_t i = 1; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--threshold" && has_value && parse_number(args[i + 1], 0, 65535, threshold)) {
      ++i;
    } else if (args[i] == "--kv" && has_value && parse_number(args[i + 1], 0, 255, kv)) {
      ++i;
    } else if (args[i] == "--log" && has_value && !args[i + 1].empty()) {
      log_file = absolute_path(args[++i]);
    } else {
      return usage_error("uniformity", kUniformityUsage);
    }
  }
  if (threshold < 0) return usage_error("uniformity", kUniformityUsage);

  Session session(globals);
  LibraryLines lines(globals);
  char model[32], type_name[32];
  if (const int opened = open_identified(session, model, type_name); opened != kExitOk) return opened;
  if (kv < 0) {
    if (const int read = read_level(session, kv); read != kExitOk) return read;
  }
  // The working frequencies come from the hardware image of the model's
  // firmware generation.
  session.begin_call();
  if (load_parameter_images(model_parameter_slot(maintenance_state().model_code)) != 0) {
    return session.failure("read the parameter blocks");
  }
  ScratchLogs logs;
  if (!logs.ready_for("uniformity create")) return kExitFileRefused;
  session.begin_call();
  const int result = create_uniformity_table(0, 0, static_cast<int>(kv), static_cast<int>(threshold));
  lines.end_line();
  if (!link_is_open()) return session.failure("uniformity create");
  const std::string log = logs.take();
  if (!log_file.empty() && !write_text_file(log_file, log, true)) return kExitFileRefused;
  const UniformityCreation& made = diagnostics_state().uniformity_creation;
  if (globals.json) {
    print_json(json{{"created", result == 0},
                    {"kv", kv},
                    {"threshold", threshold},
                    {"frequencies", made.frequency_count},
                    {"log", log}}
                   .dump(2));
  } else if (result == 0 && !globals.quiet) {
    std::printf("uniformity table written: %d frequencies, threshold %ld\n", made.frequency_count, threshold);
  }
  if (result != 0) {
    report_error("uniformity create: no table written (see the log: a capture that failed, too many points, "
                 "an offset out of range, or the write refused)");
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace

int run_uniformity(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] uniformity dump [--out FILE]\n"
              "       tmode [global options] uniformity create --threshold T [--kv N] [--log FILE]\n"
              "dump reads the controller's uniformity table (the size and format follow from\n"
              "its model and level) and prints the library's dump of it, or writes the dump\n"
              "to FILE. JSON: validity, threshold and each frequency's points.\n"
              "create captures the panel at every working frequency, turns the line-to-line\n"
              "differences beyond T into correction points and writes the table to the\n"
              "controller; --kv names the kernel version that decides the table's format\n"
              "(default: the controller's level), --log appends the library's log of the\n"
              "creation (difference maps and points) to FILE.");
    return kExitOk;
  }
  if (!args.empty() && args[0] == "create") return create_table(globals, args);
  std::string out;
  if (args.empty() || args[0] != "dump") return usage_error("uniformity", kUniformityUsage);
  if (args.size() == 3 && args[1] == "--out" && !args[2].empty()) {
    out = args[2];
  } else if (args.size() != 1) {
    return usage_error("uniformity", kUniformityUsage);
  }

  Session session(globals);
  // Standard output holds the dump: the library's messages go to standard
  // error.
  LibraryLines lines(globals, LibraryLines::Output::kValues);
  char model[32], type_name[32];
  if (const int opened = open_identified(session, model, type_name); opened != kExitOk) return opened;
  session.begin_call();
  if (load_uniformity_table(0, 0) != 0) {
    report_error("uniformity dump: no table read (a controller model without a uniformity table, or a short "
                 "read)");
    return kExitRefused;
  }
  std::string dump;
  int dumped = -1;
  {
    ScratchLogs logs;
    if (!logs.ready_for("uniformity dump")) return kExitFileRefused;
    session.begin_call();
    dumped = dump_uniformity_table(0, 0);
    dump = logs.take();
  }
  if (dumped != 1) {
    if (!link_is_open()) return session.failure("uniformity dump");
    std::string reason = dump.substr(0, dump.find('\r'));
    report_error("uniformity dump: %s", reason.empty() ? "refused" : reason.c_str());
    return kExitRefused;
  }
  if (!out.empty() && !write_text_file(out, dump, false)) return kExitFileRefused;
  if (globals.json) {
    json doc = parse_dump(dump);
    if (!out.empty()) doc["out"] = out;
    print_json(doc.dump(2));
  } else if (out.empty()) {
    std::fwrite(dump.data(), 1, dump.size(), stdout);
  } else if (!globals.quiet) {
    std::printf("uniformity table written to %s\n", out.c_str());
  }
  return kExitOk;
}

}  // namespace tmode::cli
