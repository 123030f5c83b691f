// The touch information ('?','h') the simulated firmware sends every
// interval while '?','i' 1 has switched it on.
#pragma once

#include <cstdint>
#include <vector>

namespace tmode::sim {

struct TouchInfoStream {
  int interval_ms = 20;
  // Report i carries max_noise[i % size] as its maximum noise (block bytes
  // 15 and 16) and i % 251 as its touch count (block byte 3).
  std::vector<int16_t> max_noise = {12};
  uint8_t max_noise_channel = 7;
  int limit = -1;  // knob: the firmware falls silent after this many reports
  int sent = 0;
};

}  // namespace tmode::sim
