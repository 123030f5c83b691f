// A software block image as the controller delivered it, with a mode (from
// the controller or the caller) and a new level: the rescaling must stay
// inside the 512-byte block, never divide by zero, and leave a refused
// block untouched. Input: layout byte, mode byte, level byte, then the
// block (zero-filled when short).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "maintenance/threshold_rescale.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const auto layout = static_cast<tmode::ThresholdLayout>(data[0] % 3);
  const int mode = data[1];
  const int level = static_cast<int8_t>(data[2]);

  // Exactly 512 bytes on the heap: a byte outside is an overrun.
  auto block = std::make_unique<uint8_t[]>(512);
  std::memset(block.get(), 0, 512);
  const size_t given = size - 3 < 512 ? size - 3 : 512;
  std::memcpy(block.get(), data + 3, given);
  uint8_t before[512];
  std::memcpy(before, block.get(), 512);

  const int level_at = tmode::threshold_level_offset(layout, mode);
  if (level_at >= 512) __builtin_trap();
  const int result = tmode::rescale_threshold_record(block.get(), layout, mode, level);
  if (result != 0 && std::memcmp(before, block.get(), 512) != 0) __builtin_trap();
  if (result == 0 && (level_at < 0 || block[static_cast<size_t>(level_at)] != static_cast<uint8_t>(level))) {
    __builtin_trap();
  }
  tmode::seal_software_block(block.get());
  return 0;
}
