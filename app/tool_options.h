// The command line of tmodectl.
#pragma once

#include <cstdint>

namespace tmodectl {

struct ToolOptions {
  uint8_t show_help;
  uint8_t debug;  // -d: accepted, read by nothing
  uint8_t show_version;
  char device_path[512];
  uint8_t get_mode;
  uint8_t set_mode;
  int32_t mode;
};

extern ToolOptions tool_options;

void reset_options(ToolOptions& options);

// getopt over "dvhp:gs:", silent about unknown options and missing
// arguments, which are skipped.
void parse_options(ToolOptions& options, int argc, char** argv);

// atoi's result for text that fits an int (0 for no number), clamped for
// text that does not.
int32_t to_int_like_atoi(const char* text);

}  // namespace tmodectl
