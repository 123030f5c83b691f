// The library's images of the controller's parameter blocks, and the
// operations that fill them and derive the channel ranges.
#pragma once

#include <cstdint>

#include "protocol/channel_ranges.h"

namespace tmode {

inline constexpr int kHardwareBlockSize = 2048;
inline constexpr int kSoftwareBlockSize = 512;
inline constexpr int kSmallHardwareBlockSize = 512;  // hardware image 2

// Block types of the parameter-block commands.
inline constexpr int kSoftwareBlock = 0;
inline constexpr int kHardwareBlock = 1;
inline constexpr int kUniformityBlock = 2;

// Hardware image 1 and the first software image are the working images of
// the controller in use; hardware images 2 to 4 serve other firmware
// generations; the current images are those the parameter-file operations
// fill, verify and write.
struct ParameterImages {
  uint8_t hardware1[kHardwareBlockSize];
  uint8_t hardware2[kSmallHardwareBlockSize];
  uint8_t hardware3[kHardwareBlockSize];
  uint8_t hardware4[kHardwareBlockSize];
  uint8_t current_hardware[kHardwareBlockSize];
  uint8_t first_software[kSoftwareBlockSize];
  uint8_t current_software[kSoftwareBlockSize];
};

// Reads the hardware block and the software block into the images of a slot
// (1 to 4: hardware image 1 to 4 and the first software image; 5: the
// current images) and verifies both. 0, or -1 for a read that gave nothing,
// a checksum that does not match or a slot outside 1 to 5.
int load_parameter_images(int slot);

// Channel ranges from hardware image 1: 1 when the block's structure minor
// version is 2 or more and every range is valid, else 0.
int compute_channel_ranges();

}  // namespace tmode
