#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "link/discovery.h"
#include "library/library_state.h"
#include "tests/support/fake_nodes.h"

namespace tmode {
namespace {

using test::FakeNode;
using test::FakeNodes;
using test::supported_hidraw;

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(library.link.device_path, 0, sizeof library.link.device_path);
    std::memset(out, 0, sizeof out);
  }
  FakeNodes nodes;
  char out[512];
};

TEST_F(Discovery, NothingFoundLeavesPathsUntouched) {
  std::strcpy(out, "untouched");
  std::strcpy(library.link.device_path, "kept");
  EXPECT_EQ(discover_device(out), 0);
  EXPECT_STREQ(out, "untouched");
  EXPECT_STREQ(library.link.device_path, "kept");
}

TEST_F(Discovery, TheI2cNodeWinsOverHidrawNodes) {
  nodes.add(supported_hidraw(2));
  nodes.add(supported_hidraw(5));
  nodes.add(FakeNode{.path = "/dev/plovex_i2c", .openable = false});
  EXPECT_EQ(discover_device(out), 3);
  EXPECT_STREQ(out, "/dev/plovex_i2c");
  EXPECT_STREQ(library.link.device_path, "/dev/plovex_i2c");
  EXPECT_EQ(nodes.opened, 2) << "the I2C node is neither opened nor queried";
}

TEST_F(Discovery, TheHighestAcceptedHidrawNodeIsChosen) {
  nodes.add(supported_hidraw(2));
  nodes.add(supported_hidraw(5));
  EXPECT_EQ(discover_device(out), 2);
  EXPECT_STREQ(out, "/dev/hidraw5");
  EXPECT_STREQ(library.link.device_path, "/dev/hidraw5");
  EXPECT_EQ(nodes.closed, nodes.opened);
}

TEST_F(Discovery, ScansHidraw0To9OnlyAndCountsAfresh) {
  nodes.add(supported_hidraw(10));
  EXPECT_EQ(discover_device(out), 0);
  EXPECT_EQ(std::count(nodes.accessed.begin(), nodes.accessed.end(), "/dev/hidraw10"), 0);
  EXPECT_EQ(std::count(nodes.accessed.begin(), nodes.accessed.end(), "/dev/hidraw9"), 1);

  nodes.add(supported_hidraw(1));
  EXPECT_EQ(discover_device(out), 1);
  EXPECT_EQ(discover_device(out), 1) << "a second scan does not add to the first";
}

TEST_F(Discovery, ProbeDecidesByVendorAndName) {
  struct Case {
    const char* what;
    FakeNode node;
    int result;
  };
  const Case cases[] = {
      {"second vendor, name query fails",
       {.path = "/dev/hidraw1", .vendor = 0x04E7, .name_ok = false}, 0},
      {"plovex vendor, name without any fragment",
       {.path = "/dev/hidraw1", .vendor = 0x2B9D, .name = "Generic Keyboard"}, -1},
      {"second vendor's brand word", {.path = "/dev/hidraw1", .vendor = 0x04E7, .name = "Tev 10.1 panel"}, 0},
      {"fragments are case-sensitive", {.path = "/dev/hidraw1", .vendor = 0x2B9D, .name = "plvx"}, -1},
      {"other vendor with a matching name", {.path = "/dev/hidraw1", .vendor = 0x1234, .name = "PLVX"}, -1},
      {"info query fails", {.path = "/dev/hidraw1", .info_ok = false, .vendor = 0x2B9D}, -1},
      {"node cannot be opened", {.path = "/dev/hidraw1", .openable = false}, -1},
      {"a 64-byte name fills the buffer; the fragment at its very end still counts",
       {.path = "/dev/hidraw1", .vendor = 0x2B9D, .name = std::string(60, 'x') + "PLVX"}, 0},
      {"a name longer than 64 bytes is cut before the fragment",
       {.path = "/dev/hidraw1", .vendor = 0x2B9D, .name = std::string(62, 'x') + "PLVX"}, -1},
  };
  for (const Case& c : cases) {
    nodes.nodes = {c.node};
    nodes.opened = nodes.closed = 0;
    EXPECT_EQ(probe_hidraw_node("/dev/hidraw1"), c.result) << c.what;
    EXPECT_EQ(nodes.closed, nodes.opened) << c.what << ": the node is closed again";
  }
}

TEST_F(Discovery, ProductNameTableHoldsSeventeenFragments) {
  int brand_words = 0;
  for (const char* name : kProductNames) {
    const size_t length = std::strlen(name);
    EXPECT_LE(length, 55u) << name;
    if (length == 3) ++brand_words;
    else EXPECT_GE(length, 4u) << name;
  }
  EXPECT_EQ(brand_words, 2);
}

TEST_F(Discovery, HidProductKind) {
  struct Case {
    FakeNode node;
    int kind;
  };
  const Case cases[] = {
      {{.path = "/dev/hidraw0", .vendor = 0x2B9D, .product = 0x61FE}, 1},
      {{.path = "/dev/hidraw0", .vendor = 0x2B9D, .product = 0x6101}, 2},
      {{.path = "/dev/hidraw0", .vendor = 0x2B9D, .product = 0x6200}, 0},
      {{.path = "/dev/hidraw0", .vendor = 0x04E7, .product = 0x61FE}, 0},
      {{.path = "/dev/hidraw0", .info_ok = false, .vendor = 0x2B9D, .product = 0x61FE}, 0},
  };
  for (const Case& c : cases) {
    nodes.nodes = {c.node};
    EXPECT_EQ(query_hid_product_kind(900), c.kind) << std::hex << c.node.vendor << ":" << c.node.product;
  }
}

TEST(SetDevicePath, StoresUpTo511BytesAndZeroFillsTheRest) {
  std::memset(library.link.device_path, 'z', sizeof library.link.device_path);
  const std::string longest(511, 'p');
  EXPECT_EQ(set_device_path(longest.c_str(), 511), 1);
  EXPECT_EQ(std::string(library.link.device_path), longest);

  EXPECT_EQ(set_device_path("/dev/ttyS0", 10), 1);
  EXPECT_STREQ(library.link.device_path, "/dev/ttyS0");
  for (int i = 10; i < 512; ++i) ASSERT_EQ(library.link.device_path[i], 0) << i;

  const std::string too_long(512, 'q');
  EXPECT_EQ(set_device_path(too_long.c_str(), 512), 0);
  EXPECT_EQ(set_device_path("/dev/x", -1), 0);
  EXPECT_STREQ(library.link.device_path, "/dev/ttyS0");
}

}  // namespace
}  // namespace tmode
