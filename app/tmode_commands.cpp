#include "app/tmode_commands.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/tmode_block_progress.h"
#include "maintenance/model_identification.h"
#include "maintenance/parameter_images.h"
#include "protocol/controller_commands.h"
#include "protocol/controller_info.h"
#include "protocol/direct_commands.h"
#include "protocol/touch_mode.h"
#include "protocol/value_record.h"
#include "tester/parameter_file_operations.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

constexpr int kFeatureBytes = 60;  // the feature reply's payload

std::string hex_bytes(const uint8_t* bytes, int count) {
  std::string text;
  char pair[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += pair;
  }
  return text;
}

}  // namespace

std::string text_field(const char* field) { return std::string(field, strnlen(field, 32)); }

bool wants_help(const Arguments& args) {
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") return true;
  }
  return false;
}

int usage_error(const char* subcommand, const char* message) {
  report_error("%s: %s (see tmode %s --help)", subcommand, message, subcommand);
  return kExitUsage;
}

bool parse_number(const std::string& text, long low, long high, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}


int open_identified(Session& session, char* model, char* type) {
  if (const int opened = session.open(); opened != kExitOk) return opened;
  session.begin_call();
  if (get_model_name(0, 0, model) < 0) return session.failure("model name");
  session.begin_call();
  if (get_type_name(0, 0, type) < 0) return session.failure("type name");
  identify_model();
  return kExitOk;
}

void print_json(const std::string& document) {
  std::fputs(document.c_str(), stdout);
  std::fputc('\n', stdout);
}

int read_level(Session& session, long& level) {
  uint8_t payload[64] = {};
  session.begin_call();
  if (read_controller_level(0, 0, payload) <= 0) return session.failure("read the controller level");
  level = payload[0];
  return kExitOk;
}

int run_info(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] info\n"
              "Prints the controller's type, model and firmware version, the model code the\n"
              "library derives from them, the controller level, the sensor size and the\n"
              "feature bytes. A query the controller does not answer leaves its field\n"
              "unknown (null in JSON); the names are required.");
    return kExitOk;
  }
  if (!args.empty()) return usage_error("info", "takes no arguments");
  Session session(globals);
  if (const int opened = session.open(); opened != kExitOk) return opened;

  char type[32], model[32], firmware[32];
  struct Name {
    const char* what;
    int (*get)(int, int, char*);
    char* out;
  };
  for (const Name& name : {Name{"type name", get_type_name, type}, Name{"model name", get_model_name, model},
                           Name{"firmware version", get_firmware_version, firmware}}) {
    session.begin_call();
    if (name.get(0, 0, name.out) < 0) return session.failure(name.what);
  }
  const int model_code = identify_model();

  json doc = {{"type", text_field(type)},
              {"model", text_field(model)},
              {"firmware", text_field(firmware)},
              {"model_code", model_code},
              {"controller_level", nullptr},
              {"sensor", nullptr},
              {"features", nullptr}};
  uint8_t payload[64] = {};
  const int level_bytes = read_controller_level(0, 0, payload);
  if (level_bytes > 0 && level_bytes <= 60) doc["controller_level"] = payload[0];
  ValueRecord5 size{};
  if (read_sensor_size(0, 0, &size) == 0) doc["sensor"] = {{"rx", size.bytes[0]}, {"tx", size.bytes[1]}};
  uint8_t features[64] = {};
  if (query_features(0, 0, features) == 0) doc["features"] = hex_bytes(features, kFeatureBytes);

  if (globals.json) {
    print_json(doc.dump(2));
    return kExitOk;
  }
  const auto or_unknown = [](const json& value) { return value.is_null() ? std::string("unknown") : value.dump(); };
  std::printf("type: %s\nmodel: %s\nfirmware: %s\nmodel-code: %d\ncontroller-level: %s\n", text_field(type).c_str(),
              text_field(model).c_str(), text_field(firmware).c_str(), model_code,
              or_unknown(doc["controller_level"]).c_str());
  if (doc["sensor"].is_null()) {
    std::puts("sensor: unknown");
  } else {
    std::printf("sensor: %d rx x %d tx\n", doc["sensor"]["rx"].get<int>(), doc["sensor"]["tx"].get<int>());
  }
  std::printf("features: %s\n",
              doc["features"].is_null() ? "unknown" : doc["features"].get<std::string>().c_str());
  return kExitOk;
}

int run_mode(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] mode [get]\n"
              "       tmode [global options] mode set N\n"
              "Reads the touch mode in force, or switches to mode N (0 to 255).");
    return kExitOk;
  }
  const bool set = !args.empty() && args[0] == "set";
  long mode = -1;
  if (set) {
    if (args.size() != 2 || !parse_number(args[1], 0, 255, mode)) {
      return usage_error("mode", "set takes one mode, 0 to 255");
    }
  } else if (!(args.empty() || (args.size() == 1 && args[0] == "get"))) {
    return usage_error("mode", "expected get or set N");
  }
  Session session(globals);
  if (const int opened = session.open(); opened != kExitOk) return opened;

  session.begin_call();
  if (set) {
    if (set_touch_mode(0, 0, static_cast<int>(mode)) != 0) return session.failure("set touch mode");
  } else {
    uint8_t current = 0;
    if (get_touch_mode(0, 0, &current) != 1) return session.failure("get touch mode");
    mode = current;
  }
  if (globals.json) {
    print_json(json{{"mode", mode}}.dump(2));
  } else if (!globals.quiet || !set) {
    std::printf("%ld\n", mode);
  }
  return kExitOk;
}

int run_params(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] params ACTION --hardware|--software FILE\n"
              "  save     read the block from the controller into a binary file\n"
              "  export   read the block from the controller into a text file\n"
              "  write    write a binary file's block to the controller (checked first)\n"
              "  import   write a text file's parameters to the controller (checked first)\n"
              "Nothing reaches the controller from a file that does not load or whose\n"
              "block checksum does not match.\n"
              "Progress: a bar on a terminal, \"progress N%\" lines otherwise.");
    return kExitOk;
  }
  if (args.size() != 3) return usage_error("params", "expected ACTION --hardware|--software FILE");
  const std::string& action = args[0];
  const bool hardware = args[1] == "--hardware";
  if (!hardware && args[1] != "--software") return usage_error("params", "expected --hardware or --software");
  struct Action {
    const char* name;
    int (*hardware)(int, int, const char*);
    int (*software)(int, int, const char*);
    int success;  // the operation's result on success
    const char* done;
    bool reads;   // reads both blocks from the controller; else writes the one
  };
  static const Action kActions[] = {
      {"save", save_hardware_file, save_software_file, 0, "saved", true},
      {"export", export_hardware_file, export_software_file, 1, "exported", true},
      {"write", write_hardware_bin_file, write_software_bin_file, 0, "written", false},
      {"import", write_hardware_text_file, write_software_text_file, 0, "imported", false},
  };
  const Action* chosen = nullptr;
  for (const Action& a : kActions) {
    if (action == a.name) chosen = &a;
  }
  if (chosen == nullptr) return usage_error("params", "expected save, export, write or import");

  Session session(globals);
  if (const int opened = session.open(); opened != kExitOk) return opened;
  const std::string& path = args[2];
  const long bytes = chosen->reads ? kHardwareBlockSize + kSoftwareBlockSize : hardware ? kHardwareBlockSize : kSoftwareBlockSize;
  BlockProgress progress(globals, BlockProgress::Shown::kAllTransfers, bytes, nullptr);
  session.begin_call();
  const int result = (hardware ? chosen->hardware : chosen->software)(0, 0, path.c_str());
  const char* block = hardware ? "hardware" : "software";
  if (result == chosen->success) progress.finish();
  if (result != chosen->success) {
    report_error("params %s: %s parameters and %s: refused (file missing, unreadable or not a valid block, or "
                 "the controller failed)",
                 chosen->name, block, path.c_str());
    return kExitFileRefused;
  }
  if (globals.json) {
    print_json(json{{"action", chosen->name}, {"block", block}, {"file", path}}.dump(2));
  } else if (!globals.quiet) {
    std::printf("%s parameters %s: %s\n", block, chosen->done, path.c_str());
  }
  return kExitOk;
}

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> all = {
      {"info", "", "the controller's names, model code, level, sensor size and features", run_info},
      {"mode", "[get | set N]", "read or switch the touch mode", run_mode},
      {"params", "save|export|write|import --hardware|--software FILE", "parameter files", run_params},
      {"test", "open|short|mutual|all --ini FILE [options]", "run the sensor tests of a tuning file", run_test},
      {"calibrate", "[--bias PCT] [--stability SPAN] [options]", "calibrate and store, with the bias and stability tests",
       run_calibrate},
      {"tune", "--ini FILE [--no-store]", "auto-tune the sensor and write the tuned parameters", run_tune},
      {"threshold", "[get | set MODE LEVEL] [--layout a|b|c]", "threshold records and sensitivity levels",
       run_threshold},
      {"capture", "TYPE [--count N | --continuous] [--out FILE]", "capture image frames and their records",
       run_capture},
      {"firmware", "update FILE [--force]", "update the firmware from a record file or package", run_firmware},
      {"uniformity", "dump [--out FILE]", "the controller's uniformity table", run_uniformity},
  };
  return all;
}

}  // namespace tmode::cli
