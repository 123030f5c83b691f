#include "maintenance/parameter_checksums.h"

#include "maintenance/parameter_images.h"

namespace tmode {

namespace {

constexpr uint32_t kSeed = 0x55;
constexpr int kSoftwareLengthLimit = 510;

}  // namespace

uint16_t hardware_block_checksum(const uint8_t* block, int maximum) {
  const int length = read_le16(block);
  if (length < 4 || length > maximum) return 0;
  uint32_t sum = kSeed;
  for (int i = 4; i < length; ++i) sum += block[i];
  return static_cast<uint16_t>(sum);
}

uint16_t software_block_checksum(const uint8_t* block) {
  const int length = read_le16(block);
  if (length < 4 || length > kSoftwareLengthLimit) return 0;
  uint32_t sum = kSeed;
  for (int word = 4; word < kSoftwareBlockSize / 2; ++word) sum += read_le16(block + 2 * word);
  return static_cast<uint16_t>(sum);
}

bool verify_hardware_block(const uint8_t* block, int maximum) {
  return hardware_block_checksum(block, maximum) == read_le16(block + 2);
}

bool verify_software_block(const uint8_t* block) {
  return software_block_checksum(block) == read_le16(block + 2);
}

}  // namespace tmode
