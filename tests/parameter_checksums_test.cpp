#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "library/library_state.h"
#include "maintenance/parameter_checksums.h"
#include "maintenance/parameter_images.h"

namespace tmode {
namespace {

std::vector<uint8_t> block_of(int size, uint16_t length) {
  std::vector<uint8_t> block(static_cast<size_t>(size));
  for (int i = 4; i < size; ++i) block[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 13);
  write_le16(block.data(), length);
  return block;
}

TEST(SoftwareChecksum, WordsFourTo255WhateverTheLength) {
  std::vector<uint8_t> block = block_of(512, 100);
  uint32_t sum = 0x55;
  for (int word = 4; word < 256; ++word) sum += read_le16(block.data() + 2 * word);
  EXPECT_EQ(software_block_checksum(block.data()), static_cast<uint16_t>(sum));
  write_le16(block.data(), 510);
  EXPECT_EQ(software_block_checksum(block.data()), static_cast<uint16_t>(sum));
  block[7] ^= 0xFF;  // bytes 4 to 7 are outside the sum
  EXPECT_EQ(software_block_checksum(block.data()), static_cast<uint16_t>(sum));
}

TEST(SoftwareChecksum, LengthOutOfRangeGivesZero) {
  for (uint16_t length : {0, 3, 511, 512, 0xFFFF}) {
    std::vector<uint8_t> block = block_of(512, length);
    EXPECT_EQ(software_block_checksum(block.data()), 0) << length;
    write_le16(block.data() + 2, 0x1234);
    EXPECT_FALSE(verify_software_block(block.data())) << length;
    write_le16(block.data() + 2, 0);
    EXPECT_TRUE(verify_software_block(block.data())) << "passes only with a stored 0: " << length;
  }
}

TEST(HardwareChecksum, BytesUpToTheLengthWithinTheMaximum) {
  std::vector<uint8_t> block = block_of(2048, 2046);
  uint32_t sum = 0x55;
  for (int i = 4; i < 2046; ++i) sum += block[static_cast<size_t>(i)];
  EXPECT_EQ(hardware_block_checksum(block.data(), 2048), static_cast<uint16_t>(sum));
  block[2047] ^= 1;  // beyond the length
  EXPECT_EQ(hardware_block_checksum(block.data(), 2048), static_cast<uint16_t>(sum));
  write_le16(block.data() + 2, static_cast<uint16_t>(sum));
  EXPECT_TRUE(verify_hardware_block(block.data(), 2048));
  EXPECT_FALSE(verify_hardware_block(block.data(), 512)) << "length above the maximum";
  write_le16(block.data(), 3);
  EXPECT_EQ(hardware_block_checksum(block.data(), 2048), 0);
}

struct RangeCase {
  const char* what;
  uint8_t minor;
  uint8_t driving, sensing;
  std::vector<uint8_t> tx, rx;  // (start, end) pairs
  int result;
  int tx_total, rx_total, range_mode;
};

TEST(ChannelRanges, FromHardwareImageOne) {
  const RangeCase cases[] = {
      {"valid, last channel 43", 3, 2, 2, {0, 43, 0, 39}, {0, 42, 0, 33}, 1, 84, 77, 11},
      {"end of 44 is invalid", 3, 2, 2, {0, 44, 0, 39}, {0, 42, 0, 33}, 0, 85, 77, 11},
      {"start after end is invalid", 3, 1, 1, {5, 4}, {0, 10}, 0, 0, 11, 11},
      {"minor version 1", 1, 2, 2, {0, 43, 0, 39}, {0, 42, 0, 33}, 0, 84, 77, 0},
      {"three driving, four sensing chips", 2, 3, 4, {0, 1, 2, 3, 4, 5}, {0, 0, 1, 1, 2, 2, 3, 3}, 1, 6, 4, 11},
  };
  for (const RangeCase& c : cases) {
    uint8_t* block = library.images.hardware1;
    std::memset(block, 0, kHardwareBlockSize);
    block[5] = c.minor;
    block[16] = c.driving;
    block[15] = c.sensing;
    std::memcpy(block + 22, c.tx.data(), c.tx.size());
    std::memcpy(block + 28, c.rx.data(), c.rx.size());
    EXPECT_EQ(compute_channel_ranges(), c.result) << c.what;
    EXPECT_EQ(library.ranges.tx_total, c.tx_total) << c.what;
    EXPECT_EQ(library.ranges.rx_total, c.rx_total) << c.what;
    EXPECT_EQ(library.ranges.range_mode, c.range_mode) << c.what;
  }
}

TEST(ChannelRanges, TooManyChipsChangesNothingElse) {
  library.ranges = ChannelRanges{};
  library.ranges.tx_total = 77;
  uint8_t* block = library.images.hardware1;
  for (auto [driving, sensing] : {std::pair{4, 2}, std::pair{2, 5}}) {
    std::memset(block, 0, kHardwareBlockSize);
    block[5] = 3;
    block[16] = static_cast<uint8_t>(driving);
    block[15] = static_cast<uint8_t>(sensing);
    EXPECT_EQ(compute_channel_ranges(), 0);
    EXPECT_EQ(library.ranges.tx_total, 77);
  }
}

}  // namespace
}  // namespace tmode
