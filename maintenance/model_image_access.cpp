#include "maintenance/model_image_access.h"

#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_images.h"

namespace tmode {

namespace {

constexpr int kCountByte = 15;      // in hardware image 2
constexpr int kWideCountByte = 16;  // in hardware images 3 and 4
constexpr int kFirstEntryByte = 22;
constexpr int kFirstChannelByte = 26;
constexpr int kChannelCountByte = 27;

struct ModelImage {
  const uint8_t* bytes;
  int size;
  int count_byte;
};

bool image_of(int model_code, ModelImage& image) {
  const ParameterImages& i = maintenance_state().images;
  switch (model_code) {
    case 18: image = {i.hardware2, kSmallHardwareBlockSize, kCountByte}; return true;
    case 22: case 26: image = {i.hardware3, kHardwareBlockSize, kWideCountByte}; return true;
    case 24: case 28: image = {i.hardware4, kHardwareBlockSize, kWideCountByte}; return true;
    default: return false;
  }
}

void set_pair(uint8_t* pairs, int chip, int first, int last) {
  pairs[2 * chip] = static_cast<uint8_t>(first);
  pairs[2 * chip + 1] = static_cast<uint8_t>(last);
}

}  // namespace

int model_parameter_slot(int model_code) {
  if (model_code == 18) return 2;
  if (model_code == 22 || model_code == 26) return 3;
  if (model_code == 24 || model_code == 28) return 4;
  return 1;
}

const uint8_t* model_parameter_image(int model_code) {
  const ParameterImages& images = maintenance_state().images;
  switch (model_parameter_slot(model_code)) {
    case 2: return images.hardware2;
    case 3: return images.hardware3;
    case 4: return images.hardware4;
    default: return images.hardware1;
  }
}

int read_model_image_count(int, int, int model_code, uint16_t* out) {
  ModelImage image{};
  if (!image_of(model_code, image)) return -1;
  *out = image.bytes[image.count_byte];
  return 0;
}

int read_model_image_entry(int, int, int model_code, int index, uint16_t* out) {
  ModelImage image{};
  if (!image_of(model_code, image)) return -1;
  if (index < 0 || index > (image.size - 1 - kFirstEntryByte) / 2) return -1;
  *out = image.bytes[kFirstEntryByte + 2 * index];
  return 0;
}

int split_channel_range(uint8_t* pairs) {
  const uint8_t* image = maintenance_state().images.hardware4;
  const int first_channel = image[kFirstChannelByte];
  int left = image[kChannelCountByte];

  const int k = first_channel / kChipChannels;
  for (int chip = 0; chip < k && chip < kSplitChips; ++chip) set_pair(pairs, chip, 1, 0);
  if (k >= kSplitChips) return left == 0 ? 1 : 0;

  // No channels at all: chip k is marked empty rather than given a last
  // channel below its first (255 once stored in a byte).
  if (left == 0) {
    set_pair(pairs, k, 1, 0);
    return 1;
  }
  const int first = first_channel - kChipChannels * k;
  const int last = first + left <= kChipChannels ? first + left - 1 : kChipChannels - 1;
  set_pair(pairs, k, first, last);
  left -= last - first + 1;
  for (int chip = k + 1; chip < kSplitChips && left > 0; ++chip) {
    const int chip_last = left <= kChipChannels ? left - 1 : kChipChannels - 1;
    set_pair(pairs, chip, 0, chip_last);
    left -= chip_last + 1;
  }
  return left == 0 ? 1 : 0;
}

}  // namespace tmode
