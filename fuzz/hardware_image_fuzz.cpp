// Hardware images of other firmware generations as the controller
// delivered them, read by model code and index, and the channel range of
// image 4 spread over the chips. Input: model byte, two index bytes, then
// the bytes of hardware image 4 (and, repeated, images 2 and 3).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "library/library_state.h"
#include "maintenance/model_image_access.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  tmode::ParameterImages& images = tmode::library.images;
  const uint8_t* image = data + 3;
  const size_t given = size - 3;
  for (uint8_t* target : {images.hardware2, images.hardware3, images.hardware4}) {
    const size_t capacity = target == images.hardware2 ? sizeof images.hardware2 : sizeof images.hardware4;
    std::memset(target, 0, capacity);
    std::memcpy(target, image, given < capacity ? given : capacity);
  }

  const int model = data[0] % 32;
  const int index = static_cast<int16_t>(data[1] | data[2] << 8);
  uint16_t value = 0;
  tmode::read_model_image_count(0, 0, model, &value);
  if (tmode::read_model_image_entry(0, 0, model, index, &value) == 0) {
    const int size_of_image = model == 18 ? 512 : 2048;
    if (index < 0 || 22 + 2 * index >= size_of_image) __builtin_trap();
  }

  auto pairs = std::make_unique<uint8_t[]>(8);
  std::memset(pairs.get(), 0xEE, 8);
  const int placed = tmode::split_channel_range(pairs.get());
  if (placed != 0 && placed != 1) __builtin_trap();
  for (int chip = 0; chip < 4; ++chip) {
    const uint8_t first = pairs[2 * chip], last = pairs[2 * chip + 1];
    if (first == 0xEE && last == 0xEE) continue;
    // A chip holds channels 0 to 43, or the empty marker (1, 0).
    if (!(first == 1 && last == 0) && (first > last || last > 43)) __builtin_trap();
  }
  return 0;
}
