// The simulated firmware's uniformity block (parameter block type 2) in
// each of its layouts, built by the simulator's own code so that a fault in
// the library's reading cannot pass its own tests.
#pragma once

#include <cstdint>
#include <vector>

namespace tmode::sim {

struct UniformityEntry {
  uint8_t tx;
  uint8_t rx;
  int16_t offset;  // the plain and indexed layouts keep the low byte
};

enum class UniformityLayout { kPlain, kIndexed, kWide, kCompact };

struct UniformityBlockDescription {
  UniformityLayout layout = UniformityLayout::kPlain;
  int size = 6144;                // 1024, 3072 or 6144
  uint16_t seed = 0x55;           // 0x55, 0x55AA; the compact layout always 0xAA55
  uint8_t threshold = 0;
  std::vector<std::vector<UniformityEntry>> frequencies;  // points of frequency 0, 1, ...
  uint8_t compact_version = 2;
  uint8_t compact_type = 0;
  // Flags in the upper four bits of the indexed and wide counts, which the
  // firmware's readers ignore.
  uint16_t count_flags = 0;
  // Knobs: a stored checksum one off; the last frequency's directory entry
  // pointing beyond the table (the checksum still holds).
  bool bad_checksum = false;
  bool impossible_directory = false;
};

std::vector<uint8_t> build_uniformity_block(const UniformityBlockDescription& desc);

}  // namespace tmode::sim
