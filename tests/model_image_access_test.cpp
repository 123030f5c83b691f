// Reading the other generations' hardware images and spreading a channel
// range over the chips: pure logic over the library's images.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "maintenance/model_image_access.h"

namespace tmode {
namespace {

using Bytes = std::vector<uint8_t>;

class ModelImages : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 512; ++i) library.images.hardware2[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 2048; ++i) {
      library.images.hardware3[i] = static_cast<uint8_t>(i + 100);
      library.images.hardware4[i] = static_cast<uint8_t>(i + 200);
    }
  }
  void TearDown() override { library.images = {}; }
};

TEST_F(ModelImages, CountAndEntriesComeFromTheModelsImage) {
  struct Case {
    int model;
    int count;     // -1: refused
    int entry_3;   // byte 22 + 6
  };
  const Case cases[] = {
      {18, 15, 28},
      {22, 116, 128}, {26, 116, 128},
      {24, 216 & 0xFF, (228) & 0xFF}, {28, 216 & 0xFF, 228 & 0xFF},
      {20, -1, -1}, {-1, -1, -1}, {0, -1, -1},
  };
  for (const Case& c : cases) {
    uint16_t out = 0xEEEE;
    EXPECT_EQ(read_model_image_count(0, 0, c.model, &out), c.count < 0 ? -1 : 0) << c.model;
    EXPECT_EQ(out, c.count < 0 ? 0xEEEE : c.count) << c.model;
    out = 0xEEEE;
    EXPECT_EQ(read_model_image_entry(0, 0, c.model, 3, &out), c.entry_3 < 0 ? -1 : 0) << c.model;
    EXPECT_EQ(out, c.entry_3 < 0 ? 0xEEEE : c.entry_3) << c.model;
  }
}

TEST_F(ModelImages, EntriesStopAtTheEndOfTheImage) {
  uint16_t out = 0;
  EXPECT_EQ(read_model_image_entry(0, 0, 18, 244, &out), 0) << "byte 510 of 512";
  EXPECT_EQ(out, 510 & 0xFF);
  EXPECT_EQ(read_model_image_entry(0, 0, 18, 245, &out), -1) << "byte 512";
  EXPECT_EQ(read_model_image_entry(0, 0, 24, 1012, &out), 0) << "byte 2046 of 2048";
  EXPECT_EQ(read_model_image_entry(0, 0, 24, 1013, &out), -1);
  EXPECT_EQ(read_model_image_entry(0, 0, 22, -1, &out), -1);
  EXPECT_EQ(read_model_image_entry(0, 0, 22, 1 << 30, &out), -1);
}

TEST_F(ModelImages, ChannelRangeSpreadsOverChipsOfFortyFour) {
  struct Case {
    std::string name;
    int first, count;
    Bytes pairs;  // what is written; 0xEE: not written
    int result;
  };
  const Case cases[] = {
      {"F 50, N 60", 50, 60, {1, 0, 6, 43, 0, 21, 0xEE, 0xEE}, 1},
      {"F 0, N 200: more than four chips hold", 0, 200, {0, 43, 0, 43, 0, 43, 0, 43}, 0},
      {"F 0, N 44: one full chip", 0, 44, {0, 43, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 1},
      {"F 43, N 2: across a chip boundary", 43, 2, {43, 43, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}, 1},
      {"F 176: beyond chip 3", 176, 5, {1, 0, 1, 0, 1, 0, 1, 0}, 0},
      {"F 176, N 0", 176, 0, {1, 0, 1, 0, 1, 0, 1, 0}, 1},
      {"F 0, N 0: no last channel of 255", 0, 0, {1, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 1},
      {"F 90, N 0", 90, 0, {1, 0, 1, 0, 1, 0, 0xEE, 0xEE}, 1},
      {"F 255, N 255", 255, 255, {1, 0, 1, 0, 1, 0, 1, 0}, 0},
  };
  for (const Case& c : cases) {
    library.images.hardware4[26] = static_cast<uint8_t>(c.first);
    library.images.hardware4[27] = static_cast<uint8_t>(c.count);
    uint8_t pairs[8];
    std::memset(pairs, 0xEE, sizeof pairs);
    EXPECT_EQ(split_channel_range(pairs), c.result) << c.name;
    EXPECT_EQ(Bytes(pairs, pairs + 8), c.pairs) << c.name;
  }
}

}  // namespace
}  // namespace tmode
