#include "app/tool_options.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tmodectl {

ToolOptions tool_options;

void reset_options(ToolOptions& options) {
  options.show_help = 0;
  options.debug = 0;
  options.show_version = 0;
  std::memset(options.device_path, 0, sizeof options.device_path);
  options.get_mode = 0;
  options.set_mode = 0;
  options.mode = 0;
}

int32_t to_int_like_atoi(const char* text) {
  errno = 0;
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int32_t>(value);
}

void parse_options(ToolOptions& options, int argc, char** argv) {
  opterr = 0;
  optind = 0;  // a full rescan, should the options be parsed twice
  int option;
  while ((option = getopt(argc, argv, "dvhp:gs:")) != -1) {
    switch (option) {
      case 'd':
        options.debug = 1;
        break;
      case 'v':
        options.show_version = 1;
        break;
      case 'h':
        options.show_help = 1;
        break;
      case 'p':
        std::snprintf(options.device_path, sizeof options.device_path, "%s", optarg);
        break;
      case 'g':
        options.get_mode = 1;
        break;
      case 's':
        options.set_mode = 1;
        options.mode = to_int_like_atoi(optarg);
        break;
      default:
        break;  // unknown letters and missing arguments are skipped silently
    }
  }
}

}  // namespace tmodectl
