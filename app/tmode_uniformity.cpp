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
#include "app/tmode_scratch_logs.h"
#include "diagnostics/uniformity_table.h"
#include "link/link.h"
#include "link/output_sink.h"

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

int run_uniformity(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] uniformity dump [--out FILE]\n"
              "Reads the controller's uniformity table (the size and format follow from its\n"
              "model and level) and prints the library's dump of it, or writes the dump to\n"
              "FILE. JSON: validity, threshold and each frequency's points.");
    return kExitOk;
  }
  std::string out;
  if (args.empty() || args[0] != "dump") return usage_error("uniformity", "expected dump [--out FILE]");
  if (args.size() == 3 && args[1] == "--out" && !args[2].empty()) {
    out = args[2];
  } else if (args.size() != 1) {
    return usage_error("uniformity", "expected dump [--out FILE]");
  }

  Session session(globals);
  // Standard output holds the dump: the library's messages go to standard
  // error.
  OutputSinkScope lines(globals.quiet ? nullptr : stderr);
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
    if (!logs.ready()) {
      report_error("uniformity dump: cannot make a scratch directory for the dump: %s", std::strerror(errno));
      return kExitFileRefused;
    }
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
  if (!out.empty()) {
    FILE* file = std::fopen(out.c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(dump.data(), 1, dump.size(), file) == dump.size();
    if (file != nullptr && std::fclose(file) != 0) file = nullptr;
    if (!written || file == nullptr) {
      report_error("%s: %s", out.c_str(), std::strerror(errno));
      return kExitFileRefused;
    }
  }
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
