// tmode: the library's operations from a shell, with output scripts can
// parse. tmodectl stays as it is; this is the program for everything else.
#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/tmode_commands.h"
#include "app/tmode_session.h"
#include "link/output_sink.h"

namespace {

using tmode::cli::Globals;

void print_usage(FILE* out) {
  std::fputs("Usage: tmode [global options] COMMAND [arguments]\n"
             "\n"
             "Commands:\n",
             out);
  for (const auto& command : tmode::cli::subcommands()) {
    const std::string head = std::string(command.name) + (command.synopsis[0] ? " " : "") + command.synopsis;
    std::fprintf(out, "  %s\n      %s\n", head.c_str(), command.summary);
  }
  std::fputs("\n"
             "Global options:\n"
             "  -d, --device PATH  the controller's node, or the Unix socket of its daemon\n"
             "                     (default: the first supported hidraw node or the I2C node)\n"
             "  -j, --json         one JSON document on standard output\n"
             "  -t, --trace FILE   record every report to and from the controller in FILE\n"
             "  -q, --quiet        no confirmation lines (values and errors still print)\n"
             "  -h, --help         this text; COMMAND --help tells about a command\n"
             "\n"
             "Exit status: 0 success, 2 usage error, 3 no controller found, 4 the device\n"
             "could not be opened (or went away), 5 the controller did not answer, 6 the\n"
             "controller refused, 7 a test failed, 8 a file was missing or refused,\n"
             "130 Ctrl-C cut a capture short.\n"
             "Errors go to standard error, with the reason.\n",
             out);
}

}  // namespace

int main(int argc, char** argv) {
  Globals globals;
  const option options[] = {{"device", required_argument, nullptr, 'd'}, {"json", no_argument, nullptr, 'j'},
                            {"trace", required_argument, nullptr, 't'},  {"quiet", no_argument, nullptr, 'q'},
                            {"help", no_argument, nullptr, 'h'},         {nullptr, 0, nullptr, 0}};
  opterr = 0;
  int option;
  // "+": options stop at the command; what follows belongs to it.
  while ((option = getopt_long(argc, argv, "+d:jt:qh", options, nullptr)) != -1) {
    switch (option) {
      case 'd': globals.device = optarg; break;
      case 'j': globals.json = true; break;
      case 't': globals.trace = optarg; break;
      case 'q': globals.quiet = true; break;
      case 'h': print_usage(stdout); return tmode::cli::kExitOk;
      default:
        tmode::cli::report_error("unknown or incomplete option \"%s\" (see tmode --help)", argv[optind - 1]);
        return tmode::cli::kExitUsage;
    }
  }
  if (optind >= argc) {
    print_usage(stderr);
    return tmode::cli::kExitUsage;
  }
  // With --json standard output holds the document alone: the library's
  // own lines (progress, verdicts, its "(E)" messages) go to standard error.
  if (globals.json) tmode::set_output_stream(stderr);
  const std::string name = argv[optind];
  const tmode::cli::Arguments args(argv + optind + 1, argv + argc);
  for (const auto& command : tmode::cli::subcommands()) {
    if (name == command.name) {
      const int status = command.run(globals, args);
      std::fflush(stdout);
      return status;
    }
  }
  tmode::cli::report_error("unknown command \"%s\" (see tmode --help)", name.c_str());
  return tmode::cli::kExitUsage;
}
