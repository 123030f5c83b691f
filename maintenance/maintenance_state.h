// The maintenance subsystem's part of the library state.
#pragma once

#include <cstdint>

#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/firmware_progress.h"
#include "maintenance/parameter_images.h"
#include "maintenance/parameter_progress.h"
#include "maintenance/stamp_record.h"
#include "maintenance/uniformity_state.h"

namespace tmode {

// The firmware transfers' progress callback: set and called on the caller's
// thread only.
struct FirmwareProgressHook {
  FirmwareProgressCallback callback = print_firmware_progress;
  void* context = nullptr;
};

// The parameter block transfers' progress callback: set and called on the
// caller's thread only.
struct ParameterProgressHook {
  ParameterProgressCallback callback = ignore_parameter_progress;
  void* context = nullptr;
};

struct MaintenanceState {
  // The controller model code that identify_model derived from the names;
  // -1 when no pattern matched, 0 before the first identification.
  int32_t model_code = 0;

  // Parameter block images.
  ParameterImages images = {};
  ParameterProgressHook parameter_progress;

  // The firmware file and package last loaded (cleared when a load is
  // refused), and the stamp record prepared for the controller.
  RecordFile firmware_file{};
  FirmwarePackage firmware_package{};
  StampRecord stamp_record{};
  FirmwareProgressHook firmware_progress;

  // The uniformity table: size, format, the buffer as read and the located
  // section (caller's thread only).
  UniformityTableState uniformity;
};

MaintenanceState& maintenance_state();

}  // namespace tmode
