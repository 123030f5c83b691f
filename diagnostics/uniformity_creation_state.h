// What the uniformity-table creation keeps between its capture and its
// table build: one node buffer per working frequency and the sizes they
// were taken with. Caller's thread only, except that a '?','S' node handler
// writes the buffer it was pointed at while it is registered.
#pragma once

#include <cstdint>
#include <memory>

namespace tmode {

inline constexpr int kMaxUniformityFrequencies = 20;

struct UniformityCreation {
  // Buffer f: tx_total x rx_total + 1 entries, entry 0 the frequency index,
  // node (t, r) at 1 + t x rx_total + r.
  std::unique_ptr<int16_t[]> nodes[kMaxUniformityFrequencies];
  int32_t frequency_count = 0;  // F, at most 20 (8 for a compact table)
  int32_t tx_total = 0;
  int32_t rx_total = 0;
  uint16_t count_mask = 0x0FFF;  // 0xFFFF for a compact table
  int32_t size_limit = 0;        // where points must end with flag B
};

}  // namespace tmode
