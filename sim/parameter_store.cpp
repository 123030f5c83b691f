#include "sim/parameter_store.h"

#include <cstddef>

namespace tmode::sim {

namespace {

uint16_t u16(const std::vector<uint8_t>& b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

void put_u16(std::vector<uint8_t>& b, std::size_t at, uint16_t value) {
  b[at] = static_cast<uint8_t>(value);
  b[at + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> default_hardware_block() {
  std::vector<uint8_t> block(2048, 0);
  put_u16(block, 0, 2046);
  block[4] = 1;  // structure version 1.3
  block[5] = 3;
  block[6] = 0;
  block[7] = 1;
  block[8 + 7] = 2;  // sensing chips
  block[8 + 8] = 2;  // driving chips
  const uint8_t tx[] = {0, 41, 0, 39};  // per driving chip: first, last channel
  const uint8_t rx[] = {0, 42, 0, 33};  // per sensing chip
  for (std::size_t i = 0; i < sizeof tx; ++i) block[22 + i] = tx[i];
  for (std::size_t i = 0; i < sizeof rx; ++i) block[28 + i] = rx[i];
  put_u16(block, 398, 9200);
  // The TX waveform amplitudes of the image, the stray line and the noise
  // channel: without them no scan measures anything.
  for (std::size_t i = 45; i <= 47; ++i) block[8 + i] = 60;
  return block;
}

std::vector<uint8_t> default_software_block() {
  std::vector<uint8_t> block(512, 0);
  put_u16(block, 0, 510);
  block[6] = 0;
  block[7] = 1;
  for (std::size_t i = 8; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
  return block;
}

}  // namespace

uint16_t firmware_software_checksum(const std::vector<uint8_t>& block) {
  const unsigned length = u16(block, 0);
  if (length < 4 || length > 510 || block.size() < 512) return 0;
  uint32_t sum = 0x55;
  for (std::size_t word = 4; word < 256; ++word) sum += u16(block, 2 * word);
  return static_cast<uint16_t>(sum);
}

uint16_t firmware_hardware_checksum(const std::vector<uint8_t>& block) {
  const std::size_t length = u16(block, 0);
  if (length < 4 || length > block.size()) return 0;
  uint32_t sum = 0x55;
  for (std::size_t i = 4; i < length; ++i) sum += block[i];
  return static_cast<uint16_t>(sum);
}

void ParameterStore::seal(int type) {
  std::vector<uint8_t>& block = working[static_cast<std::size_t>(type)];
  if (type == 0) put_u16(block, 2, firmware_software_checksum(block));
  if (type == 1) put_u16(block, 2, firmware_hardware_checksum(block));
}

ParameterStore ParameterStore::factory_default() {
  ParameterStore store;
  store.working[0] = default_software_block();
  store.working[1] = default_hardware_block();
  store.working[2] = std::vector<uint8_t>(6144, 0);
  store.seal(0);
  store.seal(1);
  store.committed = store.working;
  return store;
}

}  // namespace tmode::sim
