// tmode firmware update: a record file or a package, checked, sent with
// progress, finished.
#include <nlohmann/json.hpp>

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/tmode_commands.h"
#include "app/tmode_progress.h"
#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/firmware_progress.h"
#include "maintenance/version_text.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

constexpr uint16_t kPackageHeaderV1 = 80;
constexpr uint16_t kPackageHeaderV2 = 162;

struct Format {
  const char* name;
  int (*load)(const char*);
  int (*send)();
  int (*finish)();
};
const Format kRecordFile = {"record file", load_firmware_file, send_firmware, finish_firmware_update};
const Format kPackage = {"package", load_firmware_package, send_firmware_package, finish_firmware_package};

// While the records go out, Ctrl-C (or SIGTERM) does not cut the transfer
// short: a controller left with part of its firmware may not start again.
// The first signal is noted on standard error and the update goes on to its
// end (each step has its own reply timeout, so it does end); a second one
// ends the program at once, as the default would have.
constexpr char kHeldNote[] =
    "tmode: firmware update: the transfer goes on to its end (cut short, it would leave the controller "
    "without working firmware); interrupt again to stop it anyway\n";

void hold_interrupt(int signal_number) {
  const int saved = errno;
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kHeldNote, sizeof kHeldNote - 1);
  ::signal(signal_number, SIG_DFL);
  errno = saved;
}

class InterruptsHeld {
 public:
  InterruptsHeld() {
    struct sigaction held = {};
    held.sa_handler = hold_interrupt;
    sigemptyset(&held.sa_mask);
    held.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &held, &old_int_);
    ::sigaction(SIGTERM, &held, &old_term_);
  }
  ~InterruptsHeld() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
  }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  struct sigaction old_int_ = {};
  struct sigaction old_term_ = {};
};

// A package begins with its header length, 80 or 162; a record file with its
// own, at most 54: the first two bytes tell them apart.
const Format* file_format(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  uint8_t head[2] = {};
  const size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  const unsigned length = got == 2 ? head[0] | head[1] << 8 : 0;
  return length == kPackageHeaderV1 || length == kPackageHeaderV2 ? &kPackage : &kRecordFile;
}

// A chip number: "61", "62" or "63" and two more hex digits, upper case.
bool is_chip(const char* text) {
  if (text[0] != '6' || text[1] < '1' || text[1] > '3') return false;
  return std::isxdigit(static_cast<unsigned char>(text[2])) && std::isxdigit(static_cast<unsigned char>(text[3]));
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The chip a firmware file's name names, read as the stamp record reads it
// ("..._6306_V0102.bin"); empty when it names none.
std::string file_chip(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  char chip[kChipFieldSize] = {};
  char version[kVersionTextSize] = {};
  if (parse_firmware_file_name(name.c_str(), chip, version) != 0) return {};
  const std::string found = upper(chip);
  return found.size() == 4 && is_chip(found.c_str()) ? found : std::string();
}

// The chip number a controller's name carries as a word of its own
// ("PLVX-6300"); empty when it carries none.
std::string name_chip(const std::string& name) {
  const std::string text = upper(name);
  for (size_t i = 0; i + 4 <= text.size(); ++i) {
    const bool starts = i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]));
    const bool ends = i + 4 == text.size() || !std::isalnum(static_cast<unsigned char>(text[i + 4]));
    if (starts && ends && is_chip(text.c_str() + i)) return text.substr(i, 4);
  }
  return {};
}

struct TransferProgress {
  ProgressDisplay* display;
  int total = 0;
};

void show_progress(void* context, const FirmwareProgress& progress) {
  auto* transfer = static_cast<TransferProgress*>(context);
  transfer->total = progress.total;
  transfer->display->update(progress.sent, progress.total);
}

}  // namespace

int run_firmware(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] firmware update FILE [--force]\n"
              "Loads a firmware record file or package (told apart by its header), checks\n"
              "it, sends its records and finishes the update. Nothing is sent from a file\n"
              "that does not load and verify. The formats name no controller model: the\n"
              "one model check compares the chip number in the file's name (\"_6306_\")\n"
              "with the chip number in the controller's model or type name (\"PLVX-6300\");\n"
              "when both name one and they differ the file is refused unless --force.\n"
              "Progress: a bar on a terminal, \"progress N%\" lines otherwise. Ctrl-C does\n"
              "not cut the transfer short (the controller could be left without working\n"
              "firmware): the update goes on to its end; a second Ctrl-C stops it anyway.");
    return kExitOk;
  }
  if (args.empty() || args[0] != "update") return usage_error("firmware", "expected update FILE [--force]");
  std::string path;
  bool force = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--force") {
      force = true;
    } else if (path.empty() && !args[i].empty() && args[i][0] != '-') {
      path = args[i];
    } else {
      return usage_error("firmware", "expected update FILE [--force]");
    }
  }
  if (path.empty()) return usage_error("firmware", "expected update FILE [--force]");

  const Format* format = file_format(path);
  if (format == nullptr) {
    report_error("%s: %s", path.c_str(), std::strerror(errno));
    return kExitFileRefused;
  }
  if (format->load(path.c_str()) != 0) {
    report_error("%s: refused: not a valid firmware %s (a header, count or checksum does not add up)",
                 path.c_str(), format->name);
    return kExitFileRefused;
  }

  Session session(globals);
  char model[32] = {}, type[32] = {};
  if (const int opened = open_identified(session, model, type); opened != kExitOk) return opened;
  const std::string for_chip = file_chip(path);
  std::string controller_chip = name_chip(text_field(model));
  if (controller_chip.empty()) controller_chip = name_chip(text_field(type));
  const bool decidable = !for_chip.empty() && !controller_chip.empty();
  const bool mismatch = decidable && for_chip != controller_chip;
  if (mismatch && !force) {
    report_error("%s: refused: the file is for chip %s, the controller (%s) is chip %s; --force updates anyway",
                 path.c_str(), for_chip.c_str(), text_field(model).c_str(), controller_chip.c_str());
    return kExitFileRefused;
  }
  const char* check = mismatch ? "forced" : decidable ? "match" : "unchecked";

  ProgressDisplay display(globals, "firmware");
  TransferProgress transfer{&display};
  {
    const InterruptsHeld held;
    {
      FirmwareProgressScope progress(show_progress, &transfer);
      session.begin_call();
      if (format->send() != 0) return session.failure("send firmware");
    }
    session.begin_call();
    if (format->finish() != 0) return session.failure("finish firmware update");
  }
  display.finish();

  const auto chip_or_null = [](const std::string& chip) { return chip.empty() ? json(nullptr) : json(chip); };
  if (globals.json) {
    print_json(json{{"file", path},
                    {"format", format->name},
                    {"records", transfer.total},
                    {"model_check",
                     {{"result", check}, {"file_chip", chip_or_null(for_chip)},
                      {"controller_chip", chip_or_null(controller_chip)}}}}
                   .dump(2));
  } else if (!globals.quiet) {
    if (decidable) {
      std::printf("model check: %s (file chip %s, controller chip %s)\n", check, for_chip.c_str(),
                  controller_chip.c_str());
    } else {
      std::printf("model check: unchecked (%s names no chip)\n", for_chip.empty() ? "the file name" : "the controller");
    }
    std::printf("firmware updated: %s (%s, %d records)\n", path.c_str(), format->name, transfer.total);
  }
  return kExitOk;
}

}  // namespace tmode::cli
