#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library/library_state.h"
#include "protocol/controller_info.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::SimLinkTest;

class ControllerInfo : public SimLinkTest {};

TEST_F(ControllerInfo, TextsAsTheControllerSendsThem) {
  struct Case {
    std::string sent;
    std::string taken;
  };
  const Case cases[] = {
      {"1.23", "1.23"},
      {"", ""},
      {std::string("AB\0CD", 5), "AB"},  // the text ends at a zero byte
      {std::string(40, 'n'), std::string(32, 'n')},
  };
  for (const Case& c : cases) {
    sim.update([&](sim::ControllerState& s) { s.firmware_version = s.model_name = s.type_name = c.sent; });
    char out[64];
    std::memset(out, 0x5A, sizeof out);
    const int expected = static_cast<int>(c.taken.size());
    EXPECT_EQ(get_firmware_version(0, 0, out), expected);
    EXPECT_EQ(std::string(out, c.taken.size()), c.taken);
    for (size_t i = c.taken.size(); i < 32; ++i) EXPECT_EQ(out[i], 0) << "zero padding at " << i;
    EXPECT_EQ(out[32], 0x5A) << "exactly 32 bytes are written";
    EXPECT_EQ(std::memcmp(library.cached_firmware_version, out, 32), 0);

    EXPECT_EQ(get_model_name(0, 0, out), expected);
    EXPECT_EQ(std::memcmp(library.cached_model_name, out, 32), 0);
    EXPECT_EQ(get_type_name(0, 0, out), expected);
    EXPECT_EQ(std::memcmp(library.cached_type_name, out, 32), 0);
  }
}

TEST_F(ControllerInfo, CommandBytesOnTheWire) {
  char out[64] = {};
  get_type_name(0, 0, out);
  get_model_name(0, 0, out);
  get_firmware_version(0, 0, out);
  const auto sent = sim.received_commands();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], test::bytes({0x03, 0x01, 'F'}));
  EXPECT_EQ(sent[1], test::bytes({0x03, 0x01, 'E'}));
  EXPECT_EQ(sent[2], test::bytes({0x03, 0x01, 'D'}));
}

TEST_F(ControllerInfo, FailureWritesNeitherCacheNorBuffer) {
  char out[64] = {};
  ASSERT_EQ(get_model_name(0, 0, out), 9);
  sim.vanish();
  usleep(50000);
  char untouched[64];
  std::memset(untouched, 0x5A, sizeof untouched);
  EXPECT_EQ(get_model_name(0, 0, untouched), -1);
  EXPECT_EQ(untouched[0], 0x5A);
  EXPECT_STREQ(library.cached_model_name, "PLVX-6300");
}

TEST_F(ControllerInfo, DirectVersionTakesTheFirstReplyWhateverItsClass) {
  sim.update([](sim::ControllerState& s) { s.firmware_version = std::string("1.0\0x", 5); });
  sim.add_fault(sim::wrong_byte('D', -1, 2, 'Q'));
  std::memset(library.cached_firmware_version, 0, 32);
  char out[64];
  std::memset(out, 0x5A, sizeof out);
  EXPECT_EQ(get_firmware_version_direct(0, 0, out), 5) << "zero bytes count too";
  EXPECT_EQ(std::string(out, 5), std::string("1.0\0x", 5));
  EXPECT_EQ(out[32], 0x5A);
  EXPECT_EQ(library.cached_firmware_version[0], 0) << "the cache is not written";
}

}  // namespace
}  // namespace tmode
