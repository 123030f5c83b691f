// Reconnecting after the controller restarted: the link is closed, the node
// is opened again after 6 seconds and the controller must report ready.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/discovery.h"
#include "library/library_state.h"
#include "link/link.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_images.h"
#include "maintenance/threshold_rescale.h"
#include "protocol/controller_commands.h"
#include "protocol/reconnect.h"
#include "protocol/touch_mode.h"
#include "tests/support/fake_nodes.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::SimLinkTest;
using test::Stopwatch;

class Reconnect : public SimLinkTest {
 protected:
  Reconnect() { open_in_setup = false; }
  void TearDown() override {
    SimLinkTest::TearDown();
    library.link.socket_mode = 0;  // never cleared by the library itself
  }

  // A node path that survives the controller's restarts.
  void open_on_node_link() {
    sim.set_node_link(node_path);
    ASSERT_EQ(set_device_path(node_path.c_str(), static_cast<int>(node_path.size())), 1);
    ASSERT_GT(open_link(0, 0, 1), 0);
  }

  test::FakeNodes nodes;  // keeps the real daemon socket out of the way
  const std::string node_path = ::testing::TempDir() + "tmode-node-" + std::to_string(getpid());
};

TEST_F(Reconnect, NeedsAnOpenLink) {
  Stopwatch watch;
  EXPECT_EQ(reconnect_link(0, 0), -1);
  EXPECT_LT(watch.ms(), 50);
}

TEST_F(Reconnect, ResetTakesTheNodeAwayWhenTheControllerRestarts) {
  sim.update([](sim::ControllerState& s) { s.family.node_gone_ms = 300; });
  open_on_node_link();
  EXPECT_EQ(reset_controller(0, 0), 0);
  usleep(100000);
  // The node is away from about 20 ms to 320 ms after the reset: looked for
  // first, before the failing command's attempts and pauses take their time.
  EXPECT_NE(access(node_path.c_str(), F_OK), 0) << "no node while the controller restarts";
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), -1) << "the old descriptor is dead";
  usleep(400000);
  EXPECT_EQ(access(node_path.c_str(), F_OK), 0) << "the node is back";
}

TEST_F(Reconnect, RestartKeepsOnlyCommittedParameterBlocks) {
  open_on_sim();
  uint8_t committed[512];
  ASSERT_EQ(read_parameter_block(kSoftwareBlock, 0, 512, committed), 512);
  committed[300] ^= 0xFF;
  seal_software_block(committed);
  ASSERT_EQ(write_parameter_block(kSoftwareBlock, 0, 512, committed, 1), 512);
  uint8_t uncommitted[512];
  std::memcpy(uncommitted, committed, 512);
  uncommitted[301] ^= 0xFF;
  ASSERT_EQ(write_parameter_block(kSoftwareBlock, 0, 512, uncommitted, 0), 512);

  ASSERT_EQ(reset_controller(0, 0), 0);
  uint8_t after[512];
  ASSERT_EQ(read_parameter_block(kSoftwareBlock, 0, 512, after), 512);
  EXPECT_EQ(std::memcmp(after, committed, 512), 0);
}

TEST_F(Reconnect, SlowReconnectFindsTheRestartedController) {
  sim.update([](sim::ControllerState& s) {
    s.family.node_gone_ms = 1000;
    s.touch_mode = 2;
  });
  open_on_node_link();
  ASSERT_EQ(reset_controller(0, 0), 0);

  sim.clear_traffic();
  Stopwatch watch;
  EXPECT_EQ(reconnect_link(0, 0), 0);
  EXPECT_NEAR(watch.ms(), 6150, 250);
  EXPECT_EQ(sim.received_commands(), std::vector<std::vector<uint8_t>>{test::bytes({3, 2, '9', 1})});
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  EXPECT_EQ(mode, 0) << "the restarted controller's mode";
}

TEST_F(Reconnect, SlowReconnectAfterASocketFallbackUsesTheNodeItReaches) {
  // The node is missing at first, so the link falls back to the daemon.
  const std::string socket_path = ::testing::TempDir() + "tmode-daemon-" + std::to_string(getpid());
  nodes.set_daemon_socket_path(socket_path);
  sim::Simulator daemon;
  ASSERT_TRUE(daemon.start_socket(socket_path));
  daemon.update([](sim::ControllerState& s) { s.touch_mode = 3; });
  sim.update([](sim::ControllerState& s) { s.touch_mode = 1; });
  unlink(node_path.c_str());
  ASSERT_EQ(set_device_path(node_path.c_str(), static_cast<int>(node_path.size())), 1);
  ASSERT_GT(open_link(0, 0, 1), 0);
  ASSERT_EQ(library.link.socket_mode, 1);

  // The node appears; the reconnect reaches it and must read and write it
  // as a node although socket_mode stays set.
  sim.set_node_link(node_path);
  EXPECT_EQ(reconnect_link(0, 0), 0);
  EXPECT_EQ(library.link.socket_mode, 1);
  EXPECT_FALSE(library.link.fd_is_socket);
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  EXPECT_EQ(mode, 1) << "answered by the node, not the daemon";
  EXPECT_EQ(daemon.received_count(), 0u);
}

TEST_F(Reconnect, SlowControllerThatNeverComesBack) {
  open_on_node_link();
  sim.vanish();
  sim.set_node_link("");
  unlink(node_path.c_str());
  Stopwatch watch;
  EXPECT_EQ(reconnect_link(0, 0), -1);
  EXPECT_NEAR(watch.ms(), 18000, 400) << "three waits of 6 seconds, each open failing at once";
  EXPECT_FALSE(link_is_open());
}

}  // namespace
}  // namespace tmode
