#include <gtest/gtest.h>

#include <cstring>

#include "protocol/reply_fields.h"

namespace tmode {
namespace {

TEST(ReplyMatches, ComparesThePatternBytesOnly) {
  const uint8_t reply[64] = {0x03, 0x04, '6', 0x15, 7};
  EXPECT_TRUE(reply_matches(reply, {0x03, kAnyByte, '6', 0x15}));
  EXPECT_TRUE(reply_matches(reply, {}));
  EXPECT_FALSE(reply_matches(reply, {0x03, 0x05}));
  EXPECT_FALSE(reply_matches(reply, {kAnyByte, kAnyByte, kAnyByte, kAnyByte, 8}));
}

TEST(ReplyFields, CopiesAreBoundedByTheReportWhateverItsLengthByte) {
  struct Case {
    uint8_t length_byte;
    int payload;  // copy_reply_payload
    int whole;    // copy_whole_reply
  };
  const Case cases[] = {{0, 0, 2}, {1, 0, 3}, {2, 0, 4}, {10, 8, 12},
                        {62, 60, 64}, {63, 60, 64}, {255, 60, 64}};
  for (const Case& c : cases) {
    uint8_t reply[64];
    for (int i = 0; i < 64; ++i) reply[i] = static_cast<uint8_t>(i);
    reply[1] = c.length_byte;
    uint8_t out[80];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(copy_reply_payload(reply, out), c.payload) << int{c.length_byte};
    EXPECT_EQ(out[c.payload], 0xEE);
    if (c.payload > 0) {
      EXPECT_EQ(out[c.payload - 1], c.payload + 3);
    }

    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(copy_whole_reply(reply, out), c.whole) << int{c.length_byte};
    EXPECT_EQ(out[c.whole], 0xEE);
  }
}

}  // namespace
}  // namespace tmode
