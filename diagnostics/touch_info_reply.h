// A '?','h' touch-information reply taken into the touch-information block.
#pragma once

#include <cstdint>
#include <cstring>

#include "diagnostics/log_records.h"

namespace tmode {

// Copies the 60 bytes behind class and sub into the block; false (nothing
// copied) for a report too short or of another command.
inline bool take_touch_info(int size, const uint8_t* report, TouchInfoBlock* block) {
  if (size < 4 + static_cast<int>(sizeof block->bytes) || report[2] != '?' || report[3] != 'h') return false;
  std::memcpy(block->bytes, report + 4, sizeof block->bytes);
  return true;
}

}  // namespace tmode
