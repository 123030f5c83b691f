// The library's single process-wide state, reached directly by every
// operation. Zero (descriptors -1) at program start and never freed.
#pragma once

#include "link/link_session.h"
#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/stamp_record.h"

namespace tmode {

inline constexpr int kTextFieldSize = 32;

struct LibraryState {
  LinkSession link;

  // Last texts read from the controller; a 32-character text has no
  // terminating zero inside its field.
  char cached_type_name[kTextFieldSize] = {};
  char cached_model_name[kTextFieldSize] = {};
  char cached_firmware_version[kTextFieldSize] = {};

  // The controller model code that identify_model derived from the names;
  // -1 when no pattern matched, 0 before the first identification.
  int32_t model_code = 0;

  // The firmware file and package last loaded (cleared when a load is
  // refused), and the stamp record prepared for the controller.
  RecordFile firmware_file{};
  FirmwarePackage firmware_package{};
  StampRecord stamp_record{};
};

extern LibraryState library;

}  // namespace tmode
