// tmode tune: the auto-tune pipeline on the attached controller, from a
// tuning parameter file, and the tuned hardware block written back.
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/tmode_block_progress.h"
#include "app/tmode_commands.h"
#include "app/tmode_library_lines.h"
#include "maintenance/parameter_images.h"
#include "paramfile/block_layout.h"
#include "paramfile/hardware_block_pack.h"
#include "tester/tuner_preparation.h"
#include "tuning/auto_tune.h"
#include "tuning/frequency_table.h"
#include "tuning/tuning_file.h"
#include "tuning/working_tables.h"

namespace tmode::cli {

namespace {

using nlohmann::json;

constexpr uint8_t kStrayLineTune = 0x02;  // tune_flags bit 1

// The working frequencies the run chose, with the front-end settings of
// each driving-line group.
json frequencies_of(const Tuner& tuner) {
  json list = json::array();
  for (int f = 0; f < tuner.frequency_count && f < kMaxFrequencies; ++f) {
    const WorkingFrequency& w = tuner.working[f];
    json groups = json::array();
    for (int g = 0; g < kImageChannels; ++g) {
      groups.push_back({{"delay", w.delay[g]}, {"gain_a", w.gain_a[g]}, {"gain_b", w.gain_b[g]},
                        {"gain_d", w.gain_d[g]}, {"rs", w.rs[g]}});
    }
    list.push_back({{"clock_source", w.clock_source},
                    {"prescaler", w.prescaler},
                    {"image_scaling", w.image_scaling},
                    {"groups", groups}});
  }
  return list;
}

}  // namespace

int run_tune(const Globals& globals, const Arguments& args) {
  if (wants_help(args)) {
    std::puts("Usage: tmode [global options] tune --ini FILE [--no-store]\n"
              "Runs the auto-tune pipeline on the attached controller with the settings of\n"
              "the tuning parameter file FILE: calibration, working frequencies, phase and\n"
              "signal of the touch image, then the stray line when the file enables it.\n"
              "The tuned hardware parameters are written to the controller (committed)\n"
              "unless --no-store is given; the run itself sets calibration references\n"
              "on the controller as it measures, either way. The pipeline's progress\n"
              "lines go to standard output (to standard error with --json, nowhere with\n"
              "--quiet). Exit status 7 when a stage fails; its line names it.");
    return kExitOk;
  }
  std::string ini;
  bool store = true;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--ini" && i + 1 < args.size()) {
      ini = args[++i];
    } else if (args[i] == "--no-store") {
      store = false;
    } else {
      return usage_error("tune", "expected --ini FILE [--no-store]");
    }
  }
  if (ini.empty()) return usage_error("tune", "expected --ini FILE [--no-store]");
  // The library takes a missing tuning file for its defaults; a technician
  // who named one means that file.
  struct stat info{};
  if (stat(ini.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    report_error("tune: %s: %s", ini.c_str(), errno != 0 ? std::strerror(errno) : "not a regular file");
    return kExitFileRefused;
  }

  Session session(globals);
  if (const int opened = session.open(); opened != kExitOk) return opened;
  LibraryLines lines(globals);

  TunerPtr tuner = load_tuning_file(ini.c_str());
  if (tuner == nullptr) {
    report_error("tune: out of memory");
    return kExitFileRefused;
  }
  prepare_tuner(*tuner);
  session.begin_call();
  if (load_hardware_block_from_controller(*tuner) != 1) return session.failure("load hardware parameters");
  std::snprintf(tuner->run_mode, sizeof tuner->run_mode, "%s", "autotune");

  const char* failed = nullptr;
  if (auto_tune_image(*tuner) != 1) {
    failed = "image";
  } else if ((tuner->params.tune_flags & kStrayLineTune) != 0 && auto_tune_stray_line(*tuner) != 1) {
    failed = "stray line";
  }
  bool stored = false;
  if (failed == nullptr && store) {
    pack_hardware_block(*tuner, tuner->hardware_block);
    BlockProgress progress(globals, BlockProgress::Shown::kHardwareWrites, kHardwareBlockSize, &lines);
    session.begin_call();
    if (store_hardware_block(*tuner) != 1) return session.failure("write the tuned hardware parameters");
    stored = true;
  }
  lines.end_line();

  if (globals.json) {
    json doc = {{"tuned", failed == nullptr},
                {"failed_stage", failed != nullptr ? json(failed) : json(nullptr)},
                {"stored", stored},
                {"cal_vref", json::array()},
                {"frequencies", frequencies_of(*tuner)}};
    const int chips = tuner->config.bytes[cfg::kSensingChips];
    for (int c = 0; c < chips && c < kMaxSensingChips; ++c) doc["cal_vref"].push_back(tuner->cal_vref[c]);
    print_json(doc.dump(2));
  } else if (failed != nullptr) {
    report_error("tune: the %s tuning failed", failed);
  } else if (!globals.quiet) {
    std::printf("tuned: %d working frequencies%s\n", tuner->frequency_count,
                stored ? ", hardware parameters written" : " (not written)");
  }
  if (failed != nullptr && globals.json) report_error("tune: the %s tuning failed", failed);
  return failed == nullptr ? kExitOk : kExitTestFailed;
}

}  // namespace tmode::cli
