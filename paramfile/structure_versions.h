// The structure versions of the parameter blocks (bytes 4 and 5).
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// 1 for a supported record: hardware version 0.0, software version 0.3.
// Otherwise prints the record's versions and "Don't support this Version of
// structure..." and returns 0.
int check_hardware_structure_version(const uint8_t* record);
int check_software_structure_version(const uint8_t* record);

// The versions the Tuner was built for, those of its blocks, and the
// driver's two version bytes (each as tens.units).
void print_structure_versions(const Tuner& tuner);

}  // namespace tmode
