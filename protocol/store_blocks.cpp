#include "protocol/store_blocks.h"

#include <cstring>

#include "protocol/controller_commands.h"
#include "protocol/store_words.h"

namespace tmode {

namespace {

struct BlockLayout {
  int first;           // index of the first data word
  int data_words;
  int checksum_index;
  uint16_t seed;
};

constexpr BlockLayout kBlockA{0, 63, 63, 0x0055};
constexpr BlockLayout kBlockB{64, 191, 255, 0xAA55};
constexpr BlockLayout kBlockBSeed55{64, 191, 255, 0x0055};
constexpr BlockLayout kBlockC{128, 63, 191, 0x0055};
constexpr BlockLayout kBlockD{192, 63, 255, 0x0055};
constexpr BlockLayout kExtBlock{0, 255, 255, 0xAA55};

using WordRead = int (*)(int index, uint16_t* out);
using WordWrite = int (*)(int index, uint16_t word);

// Reads every data word into a local image, then the checksum word; the
// caller's area is written only when the checksum matches.
template <class Slot, int kAreaSlots>
int read_block(const BlockLayout& layout, WordRead read, Slot* area) {
  static_assert(sizeof(Slot) >= sizeof(uint16_t));
  Slot image[kAreaSlots] = {};
  uint16_t sum = layout.seed;
  for (int k = 0; k < layout.data_words; ++k) {
    uint16_t word = 0;
    if (read(layout.first + k, &word) != 0) return -1;
    image[k] = word;
    sum = static_cast<uint16_t>(sum + word);
  }
  uint16_t stored = 0;
  if (read(layout.checksum_index, &stored) != 0 || stored != sum) return -1;
  std::memcpy(area, image, sizeof image);
  return 0;
}

template <class Slot, int kAreaSlots>
int write_block(const BlockLayout& layout, WordWrite write, const Slot* area) {
  Slot image[kAreaSlots];
  std::memcpy(image, area, sizeof image);
  uint16_t sum = layout.seed;
  for (int k = 0; k < layout.data_words; ++k) {
    const auto word = static_cast<uint16_t>(image[k] & 0xFFFF);
    if (write(layout.first + k, word) != 0) return -1;
    sum = static_cast<uint16_t>(sum + word);
  }
  return write(layout.checksum_index, sum) == 0 ? 0 : -1;
}

int invalidate(WordRead read, WordWrite write, int checksum_index) {
  uint16_t word = 0;
  int result = read(checksum_index, &word);
  if (result != 0) return result;
  result = write(checksum_index, static_cast<uint16_t>(word + 1));
  if (result != 0) return result;
  return reset_controller(0, 0);
}

}  // namespace

int read_store_block_a(int, int, uint32_t* slots) {
  return read_block<uint32_t, kBlockASlots>(kBlockA, read_store_word, slots);
}
int write_store_block_a(int, int, const uint32_t* slots) {
  return write_block<uint32_t, kBlockASlots>(kBlockA, write_store_word, slots);
}

int read_store_block_c(int, int, uint32_t* slots) {
  return read_block<uint32_t, kShortBlockSlots>(kBlockC, read_store_word, slots);
}
int write_store_block_c(int, int, const uint32_t* slots) {
  return write_block<uint32_t, kShortBlockSlots>(kBlockC, write_store_word, slots);
}

int read_store_block_d(int, int, uint32_t* slots) {
  return read_block<uint32_t, kShortBlockSlots>(kBlockD, read_store_word, slots);
}
int write_store_block_d(int, int, const uint32_t* slots) {
  return write_block<uint32_t, kShortBlockSlots>(kBlockD, write_store_word, slots);
}

int read_store_block_b(int, int, uint32_t* slots) {
  return read_block<uint32_t, kBlockBSlots>(kBlockB, read_store_word, slots);
}
int write_store_block_b(int, int, const uint32_t* slots) {
  return write_block<uint32_t, kBlockBSlots>(kBlockB, write_store_word, slots);
}

int read_store_block_b_seed55(int, int, uint32_t* slots) {
  return read_block<uint32_t, kBlockBSlots>(kBlockBSeed55, read_store_word, slots);
}
int write_store_block_b_seed55(int, int, const uint32_t* slots) {
  return write_block<uint32_t, kBlockBSlots>(kBlockBSeed55, write_store_word, slots);
}

int read_ext_store_block(int, int, uint16_t* area) {
  return read_block<uint16_t, kExtBlockAreaWords>(kExtBlock, read_ext_store_word, area);
}
int write_ext_store_block(int, int, const uint16_t* area) {
  return write_block<uint16_t, kExtBlockAreaWords>(kExtBlock, write_ext_store_word, area);
}

int invalidate_store_block_255(int, int) { return invalidate(read_store_word, write_store_word, 255); }
int invalidate_store_block_191(int, int) { return invalidate(read_store_word, write_store_word, 191); }
int invalidate_ext_store_block(int, int) {
  return invalidate(read_ext_store_word, write_ext_store_word, 255);
}

}  // namespace tmode
