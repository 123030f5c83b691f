#include "diagnostics/log_paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "diagnostics/diagnostics_state.h"
#include "maintenance/maintenance_state.h"

namespace tmode {

namespace {

constexpr int kPrefixSize = 2048;

struct TypedLog {
  LogSlot slot;
  const char* type;
  bool every_model;  // named (and its directory made) for model codes 10 to 13 too
};

// In the order their directories are made.
constexpr TypedLog kTypedLogs[] = {
    {kRawL2Log, "RawL2", true},           {kCookL2Log, "CookL2", true},
    {kStrayL2Log, "StrayL2", true},       {kRawLog, "Raw", true},
    {kTouchSignalLog, "TouchSignal", true}, {kCookLog, "Cook", true},
    {kUniformityLog, "Uniformity", true}, {kUTableLog, "UTable", true},
    {kUniforCookLog, "Unifor_Cook", true}, {kTouchInfoLog, "TouchInfo", false},
    {kUniforTestLog, "Unifor_Test", false}, {kSatL2Log, "SatL2", false},
    {kSatLog, "Sat", false},
};

bool small_panel_model(int code) { return code >= 10 && code <= 13; }

// Joins the parts into a slot; a path too long for the slot is cut at its end.
void join_path(char (&slot)[kLogPathSize], std::initializer_list<const char*> parts) {
  size_t length = 0;
  for (const char* part : parts) {
    const size_t room = kLogPathSize - 1 - length;
    const size_t size = strnlen(part, room);
    std::memcpy(slot + length, part, size);
    length += size;
  }
  slot[length] = '\0';
}

void make_directory(const char* path) {
  char command[64];
  std::snprintf(command, sizeof command, "mkdir -p %s", path);
  // A directory that cannot be made shows later, when its log fails to open.
  const int ignored = std::system(command);
  (void)ignored;
}

}  // namespace

int set_log_file_prefix(int, int, char* text) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);

  char prefix[kPrefixSize] = {};
  if (text != nullptr) std::memcpy(prefix, text, strnlen(text, kPrefixSize - 1));

  const bool all_models = !small_panel_model(maintenance_state().model_code);
  LogPathSet& paths = diagnostics_state().log_paths;
  join_path(paths.slots[kMainLog], {"./LogFile/", prefix, "_", stamp, ".csv"});
  for (const TypedLog& log : kTypedLogs) {
    if (!log.every_model && !all_models) continue;
    join_path(paths.slots[log.slot],
              {"./LogFile/", log.type, "/", prefix, "_", log.type, "_", stamp, ".csv"});
  }
  if (text != nullptr) std::memcpy(text, paths.slots[kMainLog], std::strlen(paths.slots[kMainLog]) + 1);

  if (std::strstr(prefix, "ImageLog") != nullptr) {
    for (const TypedLog& log : kTypedLogs) {
      if (!log.every_model && !all_models) continue;
      char directory[48];
      std::snprintf(directory, sizeof directory, "./LogFile/%s", log.type);
      make_directory(directory);
    }
  } else {
    make_directory("./LogFile");
  }
  return 0;
}

}  // namespace tmode
