#include "paramfile/structure_versions.h"

#include <cstdio>

#include "link/output_sink.h"

namespace tmode {

namespace {

int check_version(const uint8_t* record, int major, int minor, const char* kind) {
  if (record[block::kMajorVersion] == major && record[block::kMinorVersion] == minor) return 1;
  out_printf("%s MajorVersion: %d, MinorVersion: %d\n", kind, record[block::kMajorVersion],
              record[block::kMinorVersion]);
  out_puts("Don't support this Version of structure...");
  return 0;
}

}  // namespace

int check_hardware_structure_version(const uint8_t* record) { return check_version(record, 0, 0, "HW"); }

int check_software_structure_version(const uint8_t* record) { return check_version(record, 0, 3, "SW"); }

void print_structure_versions(const Tuner& tuner) {
  out_printf("Tuner : HW %d.%d / SW %d.%d\n", 1, 3, 1, 6);
  out_printf("\nDevice : HW %d.%d / SW %d.%d\n", tuner.hardware_block[block::kMajorVersion],
              tuner.hardware_block[block::kMinorVersion], tuner.software_block[block::kMajorVersion],
              tuner.software_block[block::kMinorVersion]);
  const int hw = tuner.driver_version[0];
  const int sw = tuner.driver_version[1];
  out_printf("\nKernel : HW %d.%d / SW %d.%d\n", hw / 10, hw % 10, sw / 10, sw % 10);
}

}  // namespace tmode
