#include "maintenance/parameter_images.h"

#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_checksums.h"

namespace tmode {

namespace {

struct SlotImages {
  uint8_t* hardware;
  int hardware_size;
  uint8_t* software;
};

bool slot_images(int slot, SlotImages& images) {
  ParameterImages& i = maintenance_state().images;
  switch (slot) {
    case 1: images = {i.hardware1, kHardwareBlockSize, i.first_software}; return true;
    case 2: images = {i.hardware2, kSmallHardwareBlockSize, i.first_software}; return true;
    case 3: images = {i.hardware3, kHardwareBlockSize, i.first_software}; return true;
    case 4: images = {i.hardware4, kHardwareBlockSize, i.first_software}; return true;
    case 5: images = {i.current_hardware, kHardwareBlockSize, i.current_software}; return true;
    default: return false;
  }
}

}  // namespace

int load_parameter_images(int slot) {
  SlotImages images{};
  if (!slot_images(slot, images)) return -1;
  const int hardware_read =
      read_parameter_block(kHardwareBlock, 0, images.hardware_size, images.hardware);
  const int software_read =
      read_parameter_block(kSoftwareBlock, 0, kSoftwareBlockSize, images.software);
  // A partial read is left to the checksums to reject.
  if (hardware_read == 0 || software_read == 0) return -1;
  if (!verify_software_block(images.software)) return -1;
  if (!verify_hardware_block(images.hardware, images.hardware_size)) return -1;
  return 0;
}

}  // namespace tmode
