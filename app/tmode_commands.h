// The subcommands of tmode. Each takes its own arguments (after the
// subcommand's name) and returns an exit code.
#pragma once

#include <string>
#include <vector>

#include "app/tmode_session.h"

namespace tmode::cli {

using Arguments = std::vector<std::string>;

struct Subcommand {
  const char* name;
  const char* synopsis;  // the arguments, for the usage text
  const char* summary;
  int (*run)(const Globals& globals, const Arguments& args);
};

// Helpers the subcommands share.
// A 32-byte text field: up to its first zero, at most 32 characters.
std::string text_field(const char* field);
// Whether -h or --help is among the arguments.
bool wants_help(const Arguments& args);
// "tmode: SUBCOMMAND: MESSAGE (see tmode SUBCOMMAND --help)"; kExitUsage.
int usage_error(const char* subcommand, const char* message);
// A whole decimal number in [low, high].
bool parse_number(const std::string& text, long low, long high, long& value);

// Opens the session, reads the controller's model and type names (32-byte
// fields) and derives the model code from them, which many operations
// depend on. kExitOk, or the code of the failure (its reason on stderr).
int open_identified(Session& session, char* model, char* type);
// The controller's level ('?','X' byte 0) into `level`. kExitOk, or the
// code of the failure.
int read_level(Session& session, long& level);

int run_info(const Globals& globals, const Arguments& args);
int run_mode(const Globals& globals, const Arguments& args);
int run_params(const Globals& globals, const Arguments& args);
int run_tune(const Globals& globals, const Arguments& args);  // tmode_tune.cpp
int run_test(const Globals& globals, const Arguments& args);  // tmode_test.cpp
int run_calibrate(const Globals& globals, const Arguments& args);  // tmode_test.cpp
int run_threshold(const Globals& globals, const Arguments& args);  // tmode_threshold.cpp
int run_capture(const Globals& globals, const Arguments& args);  // tmode_capture.cpp
int run_firmware(const Globals& globals, const Arguments& args);  // tmode_firmware.cpp
int run_uniformity(const Globals& globals, const Arguments& args);  // tmode_uniformity.cpp

// Every subcommand, in the order the usage lists them.
const std::vector<Subcommand>& subcommands();

// Prints a JSON document (one per command) on standard output.
void print_json(const std::string& document);

}  // namespace tmode::cli
