// The simulated firmware's parameter blocks: a working copy that reads and
// chunk writes use, and a committed copy that survives a reset.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tmode::sim {

inline constexpr int kParameterBlockTypes = 3;  // software, hardware, uniformity

struct ParameterStore {
  std::array<std::vector<uint8_t>, kParameterBlockTypes> working;
  std::array<std::vector<uint8_t>, kParameterBlockTypes> committed;
  uint16_t selected_area = 0;
  int commits = 0;

  // A controller as shipped: valid software and hardware blocks.
  static ParameterStore factory_default();

  // The working copies fall back to what was committed (a reset, a reconnect).
  void revert() { working = committed; }
  // Recomputes the stored checksum of a software or hardware block; tests
  // call it after editing a block directly.
  void seal(int type);
};

// The firmware's own checksum rules (0 for a length field out of range).
uint16_t firmware_software_checksum(const std::vector<uint8_t>& block);
uint16_t firmware_hardware_checksum(const std::vector<uint8_t>& block);

}  // namespace tmode::sim
