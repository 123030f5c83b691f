// tmode threshold: the threshold records of the software block, the active
// mode's sensitivity level, and setting a mode with a new level.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

#include "app/tmode_commands.h"
#include "app/tmode_library_lines.h"
#include "maintenance/parameter_images.h"
#include "maintenance/threshold_settings.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

// The three software-block layouts, one per firmware generation; the
// controller does not tell which it has.
struct Layout {
  const char* name;
  int image_slot;  // the image the layout's operations read
  int (*get)(ThresholdInfo*);
  int (*set)(const ThresholdInfo*);
};
const Layout kLayouts[] = {
    {"a", 1, get_threshold_info, set_threshold_sensitivity},
    {"b", 5, get_threshold_info_b, set_threshold_sensitivity_b},
    {"c", 1, get_single_threshold_info, set_single_threshold_sensitivity},
};

const char kUsage[] = "expected [get] or set MODE LEVEL, and --layout a|b|c";

}  // namespace

int run_threshold(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] threshold [get] [--layout a|b|c]\n"
              "       tmode [global options] threshold set MODE LEVEL [--layout a|b|c]\n"
              "get reads the software block and shows the number of threshold records, the\n"
              "touch mode in force and its sensitivity level. set switches to MODE (0 to\n"
              "255) and rescales its record to LEVEL (0 to 10), then writes the block back\n"
              "with a commit. The layout of the block belongs to the firmware generation:\n"
              "a (the default), b, or c (one record, mode 0; no mode command is sent).");
    return kExitOk;
  }
  const Layout* layout = &kLayouts[0];
  Arguments words;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--layout") {
      words.push_back(args[i]);
      continue;
    }
    if (++i == args.size()) return usage_error("threshold", kUsage);
    layout = nullptr;
    for (const Layout& l : kLayouts) {
      if (args[i] == l.name) layout = &l;
    }
    if (layout == nullptr) return usage_error("threshold", kUsage);
  }
  const bool set = !words.empty() && words[0] == "set";
  long mode = 0, level = 0;
  if (set) {
    if (words.size() != 3 || !parse_number(words[1], 0, 255, mode) || !parse_number(words[2], 0, 10, level)) {
      return usage_error("threshold", "set takes a mode (0 to 255) and a level (0 to 10)");
    }
  } else if (!(words.empty() || (words.size() == 1 && words[0] == "get"))) {
    return usage_error("threshold", kUsage);
  }

  Session session(globals);
  if (const int opened = session.open(); opened != kExitOk) return opened;
  // The library's own report of the setting goes to standard error: the
  // values come on standard output in tmode's form.
  LibraryLines lines(globals, LibraryLines::Output::kValues);
  session.begin_call();
  if (load_parameter_images(layout->image_slot) != 0) return session.failure("read the parameter blocks");

  json doc = {{"layout", layout->name}};
  session.begin_call();
  if (set) {
    const ThresholdInfo info{0, static_cast<uint8_t>(mode), static_cast<int8_t>(level)};
    if (layout->set(&info) != 0) return session.failure("set threshold sensitivity");
    doc["mode"] = mode;
    doc["level"] = level;
  } else {
    ThresholdInfo info{};
    if (layout->get(&info) != 0) return session.failure("get threshold mode");
    doc["records"] = info.record_count;
    doc["mode"] = info.mode;
    doc["level"] = info.level;
  }

  if (globals.json) {
    print_json(doc.dump(2));
  } else if (!set) {  // a value: also with --quiet
    std::printf("records: %d\nmode: %d\nlevel: %d\n", doc["records"].get<int>(), doc["mode"].get<int>(),
                doc["level"].get<int>());
  } else if (!globals.quiet) {
    std::printf("threshold mode %ld set to level %ld\n", mode, level);
  }
  return kExitOk;
}

}  // namespace tmode::cli
