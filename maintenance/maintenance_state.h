// The maintenance subsystem's part of the library state.
#pragma once

#include <cstdint>

#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/parameter_images.h"
#include "maintenance/stamp_record.h"

namespace tmode {

struct MaintenanceState {
  // The controller model code that identify_model derived from the names;
  // -1 when no pattern matched, 0 before the first identification.
  int32_t model_code = 0;

  // Parameter block images.
  ParameterImages images = {};

  // The firmware file and package last loaded (cleared when a load is
  // refused), and the stamp record prepared for the controller.
  RecordFile firmware_file{};
  FirmwarePackage firmware_package{};
  StampRecord stamp_record{};
};

MaintenanceState& maintenance_state();

}  // namespace tmode
