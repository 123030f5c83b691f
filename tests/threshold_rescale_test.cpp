// Rescaling a threshold record in a software block image: every byte the
// operation writes is checked, and every other byte must stay as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "maintenance/parameter_checksums.h"
#include "maintenance/threshold_rescale.h"

namespace tmode {
namespace {

struct Put {
  int offset;  // block offset
  int width;   // 1 or 2
  int value;
};

class Block {
 public:
  Block() {
    for (int i = 0; i < 512; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 5);
  }
  void set(const std::vector<Put>& puts) {
    for (const Put& p : puts) {
      if (p.width == 1) {
        bytes[p.offset] = static_cast<uint8_t>(p.value);
      } else {
        write_le16(bytes + p.offset, static_cast<uint16_t>(p.value));
      }
    }
  }
  uint8_t bytes[512];
};

// Offsets of the layout A record of mode m.
std::vector<Put> record_a(int m, int p, int q, int r, int level) {
  const int at = 256 + 70 * m;
  return {{at + 2, 2, p}, {at + 4, 2, q}, {at + 6, 2, r}, {at + 25, 1, level}};
}

// What a layout A record of mode m holds after the rescaling.
std::vector<Put> result_a(int m, int a, int b, int c, int d, int from_q, int from_r, int level) {
  const int at = 256 + 70 * m;
  return {{at + 21, 1, a}, {at + 20, 1, b}, {at + 16, 2, c},  {at + 22, 1, d},
          {at + 23, 1, d}, {at + 8, 2, from_q}, {at + 10, 2, from_r}, {at + 25, 1, level}};
}

struct Case {
  std::string name;
  ThresholdLayout layout;
  int mode, level;
  std::vector<Put> before;  // besides the pattern
  std::vector<Put> after;   // every change expected
};

// D's reference value (layout A at block byte 272, layout B at 266) is C of
// record 0: 300 here for other modes; for mode 0 it is the C just stored.
const Case kCases[] = {
    {"A, level 3: the worked example", ThresholdLayout::kA, 1, 3,
     [] { auto v = record_a(1, 200, 100, 80, 0); v.push_back({272, 2, 300}); return v; }(),
     result_a(1, 91, 118, 140, 145, 70, 56, 3)},
    {"A, level 0", ThresholdLayout::kA, 1, 0,
     [] { auto v = record_a(1, 200, 100, 80, 7); v.push_back({272, 2, 300}); return v; }(),
     result_a(1, 130, 169, 140, 145, 100, 80, 0)},
    {"A, level 10", ThresholdLayout::kA, 2, 10,
     [] { auto v = record_a(2, 200, 100, 80, 7); v.push_back({272, 2, 300}); return v; }(),
     result_a(2, 0, 0, 140, 145, 0, 0, 10)},
    {"A, level 12: negative products give 0", ThresholdLayout::kA, 1, 12,
     [] { auto v = record_a(1, 200, 100, 80, 7); v.push_back({272, 2, 300}); return v; }(),
     result_a(1, 0, 0, 140, 145, 0xFFEC, 0xFFF0, 12)},
    {"A, large P: A keeps its low 8 bits, B comes from them", ThresholdLayout::kA, 0, 0,
     record_a(0, 1000, 200, 0, 0),
     [] {
       auto v = result_a(0, 650 & 0xFF, static_cast<int>((650 & 0xFF) * 1.3), 700, 525, 200, 0, 0);
       v.push_back({46, 2, 1000});
       v.push_back({105, 1, 300 & 0xFF});
       return v;
     }()},
    {"A, mode 0 writes the block-wide values", ThresholdLayout::kA, 0, 3,
     record_a(0, 200, 100, 80, 0),
     [] {
       auto v = result_a(0, 91, 118, 140, 105, 70, 56, 3);
       v.push_back({46, 2, 1000});
       v.push_back({105, 1, 150});
       return v;
     }()},
    {"A, P = 0: rescaled from the old level", ThresholdLayout::kA, 1, 5,
     [] {
       auto v = record_a(1, 0, 100, 80, 3);
       v.push_back({256 + 70 + 21, 1, 91});
       v.push_back({256 + 70 + 20, 1, 118});
       v.push_back({256 + 70 + 16, 2, 140});
       v.push_back({272, 2, 300});
       return v;
     }(),
     // 5 x (910 / 7) / 10 = 65, 5 x (1180 / 7) / 10 = 84, 5 x (1400 / 7) / 10 = 100
     result_a(1, 65, 84, 100, 125, 50, 40, 5)},
    {"A, P = 0 at mode 0 leaves the block-wide values", ThresholdLayout::kA, 0, 5,
     [] {
       auto v = record_a(0, 0, 100, 80, 0);
       v.push_back({256 + 21, 1, 10});
       v.push_back({256 + 20, 1, 20});
       v.push_back({256 + 16, 2, 30});
       return v;
     }(),
     result_a(0, 5, 10, 15, 11, 50, 40, 5)},
    {"A, mode 3: its fields still fit the block", ThresholdLayout::kA, 3, 3,
     [] { auto v = record_a(3, 200, 100, 80, 0); v.push_back({272, 2, 300}); return v; }(),
     result_a(3, 91, 118, 140, 145, 70, 56, 3)},
    {"B, level 3", ThresholdLayout::kB, 2, 3,
     {{256 + 128 + 50, 2, 200}, {256 + 128 + 52, 2, 100}, {256 + 128 + 54, 2, 80}, {266, 2, 300}},
     {{256 + 128 + 4, 2, 91}, {256 + 128 + 2, 2, 118}, {256 + 128 + 10, 2, 140}, {256 + 128 + 36, 1, 145},
      {256 + 128 + 37, 1, 145}, {256 + 128 + 6, 2, 70}, {256 + 128 + 8, 2, 56}, {256 + 128 + 58, 1, 3}}},
    {"B, mode 0", ThresholdLayout::kB, 0, 3,
     {{256 + 50, 2, 200}, {256 + 52, 2, 100}, {256 + 54, 2, 80}},
     {{256 + 4, 2, 91}, {256 + 2, 2, 118}, {256 + 10, 2, 140}, {256 + 36, 1, 105}, {256 + 37, 1, 105},
      {256 + 6, 2, 70}, {256 + 8, 2, 56}, {256 + 58, 1, 3}, {64, 2, 1000}, {70, 2, 150}}},
    {"C, level 3: D from C alone, nothing for mode 0", ThresholdLayout::kC, 0, 3,
     {{50, 2, 200}, {56, 2, 100}, {58, 2, 80}},
     // D = ((140 >> 1) + 140) >> 1 = 105
     {{69, 1, 91}, {67, 1, 118}, {22, 2, 140}, {80, 1, 105}, {81, 1, 105}, {52, 2, 70}, {72, 1, 56}, {124, 1, 3}}},
};

TEST(ThresholdRescale, WritesExactlyTheRecordFields) {
  for (const Case& c : kCases) {
    Block block;
    block.set(c.before);
    Block expected;
    std::memcpy(expected.bytes, block.bytes, 512);
    expected.set(c.after);
    EXPECT_EQ(rescale_threshold_record(block.bytes, c.layout, c.mode, c.level), 0) << c.name;
    for (int i = 0; i < 512; ++i) {
      EXPECT_EQ(block.bytes[i], expected.bytes[i]) << c.name << ", block byte " << i;
    }
  }
}

TEST(ThresholdRescale, RefusesWithoutTouchingTheBlock) {
  struct Refusal {
    std::string name;
    ThresholdLayout layout;
    int mode, level;
    std::vector<Put> before;
  };
  const Refusal refusals[] = {
      {"A, mode 4 lies beyond the block", ThresholdLayout::kA, 4, 3, {}},
      {"A, mode 255", ThresholdLayout::kA, 255, 3, {}},
      {"B, mode 4 lies beyond the block", ThresholdLayout::kB, 4, 3, {}},
      // Modes whose record offsets wrap to a record inside the block in 32 bits.
      {"A, mode 61356676: 70 times it is 2^32 + 24", ThresholdLayout::kA, 61356676, 3, {}},
      {"B, mode 67108864: 64 times it is 2^32", ThresholdLayout::kB, 67108864, 3, {}},
      {"A, P = 0 with an old level of 10", ThresholdLayout::kA, 1, 3, record_a(1, 0, 100, 80, 10)},
      {"C, P = 0 with an old level of 10", ThresholdLayout::kC, 0, 3, {{50, 2, 0}, {124, 1, 10}}},
  };
  for (const Refusal& r : refusals) {
    Block block;
    block.set(r.before);
    Block untouched;
    std::memcpy(untouched.bytes, block.bytes, 512);
    EXPECT_EQ(rescale_threshold_record(block.bytes, r.layout, r.mode, r.level), -1) << r.name;
    EXPECT_EQ(std::memcmp(block.bytes, untouched.bytes, 512), 0) << r.name;
  }
  EXPECT_EQ(threshold_level_offset(ThresholdLayout::kA, 3), 256 + 210 + 25);
  EXPECT_EQ(threshold_level_offset(ThresholdLayout::kA, 4), -1);
  EXPECT_EQ(threshold_level_offset(ThresholdLayout::kB, 3), 256 + 192 + 58);
  EXPECT_EQ(threshold_level_offset(ThresholdLayout::kB, 67108864), -1);
  EXPECT_EQ(threshold_level_offset(ThresholdLayout::kC, 200), 124) << "layout C has one record";
}

TEST(ThresholdRescale, SealWritesTheChecksumTheVerificationExpects) {
  // Words 4 to 255 whatever the length; a length field out of range (above
  // 510, or below 4) gives 0, as the verification computes it.
  for (const int length : {510, 512, 0}) {
    Block block;
    write_le16(block.bytes, static_cast<uint16_t>(length));
    uint32_t sum = 0x55;
    for (int word = 4; word < 256; ++word) sum += read_le16(block.bytes + 2 * word);
    const uint16_t expected = length == 510 ? static_cast<uint16_t>(sum) : 0;
    const uint8_t before[8] = {block.bytes[0], block.bytes[1], 0, 0, block.bytes[4], block.bytes[5], block.bytes[6], block.bytes[7]};
    seal_software_block(block.bytes);
    EXPECT_EQ(read_le16(block.bytes + 2), expected) << length;
    EXPECT_TRUE(verify_software_block(block.bytes)) << length;
    EXPECT_EQ(block.bytes[4], before[4]) << "words 2 and 3 are not part of the sum";
    EXPECT_EQ(block.bytes[7], before[7]);
  }
}

}  // namespace
}  // namespace tmode
