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

int run_info(const Globals& globals, const Arguments& args);
int run_mode(const Globals& globals, const Arguments& args);
int run_params(const Globals& globals, const Arguments& args);

// Every subcommand, in the order the usage lists them.
const std::vector<Subcommand>& subcommands();

// Prints a JSON document (one per command) on standard output.
void print_json(const std::string& document);

}  // namespace tmode::cli
