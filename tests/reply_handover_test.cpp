// The hand-over of replies under real traffic: reports right behind a reply,
// floods of reports nobody asked for, late callers, late replies, a device
// that vanishes under a waiting caller, and calls from a report handler.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "link/discovery.h"
#include "library/library_state.h"
#include "link/link.h"
#include "link/reply_wait.h"
#include "link/report_handlers.h"
#include "protocol/exchange.h"
#include "protocol/touch_mode.h"
#include "tests/support/fake_nodes.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;

class ReplyHandOver : public SimLinkTest {
 protected:
  int exchange(std::vector<uint8_t> packet, uint8_t reply_class, int reply_sub, int s, int ms) {
    return exchange_command(packet.data(), static_cast<int>(packet.size()), reply_class, reply_sub,
                            reply, s, ms);
  }
  uint8_t reply[64] = {};
};

TEST_F(ReplyHandOver, AReportRightBehindTheReplyDoesNotReplaceIt) {
  // Every '?','e' reply carries an unsolicited '?','Q' 0, 2 in the same write.
  sim.set_padding(false);
  sim.add_fault(sim::report_after_reply('?', 'e', bytes({0x03, 0x04, '?', 'Q', 0, 2})));
  sim.update([](sim::ControllerState& s) { s.touch_mode = 3; });
  for (int round = 0; round < 20; ++round) {
    sim.clear_traffic();
    uint8_t mode = 0xFF;
    Stopwatch watch;
    ASSERT_EQ(get_touch_mode(0, 0, &mode), 1) << "round " << round;
    EXPECT_EQ(mode, 3);
    EXPECT_LT(watch.ms(), 500);
    EXPECT_EQ(sim.received_count(), 1u) << "answered on the first write";
  }
  // Padded to 64 bytes, the two reports still share one read.
  sim.set_padding(true);
  EXPECT_EQ(exchange(bytes({'?', 'e', 0}), '?', 'e', 3, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(reply, reply + 6), bytes({0x03, 0x04, '?', 'e', 0, 3}));
}

TEST_F(ReplyHandOver, PassedOverReportsDoNotStretchAnAttempt) {
  // The command is never answered while ~1400 wrong reports a second arrive:
  // three attempts of 0.201 s and two pauses of 0.1 s, not more.
  sim.add_fault(sim::no_reply('?', 'e', -1));
  sim.flood(bytes({0x03, 0x04, '?', 'Q', 0, 2}), 1400, 2500);
  Stopwatch watch;
  // Whether the last attempt ends on a wrong reply (-1) or on its deadline
  // (110) is a race the flood decides; how long it takes is not.
  EXPECT_NE(exchange(bytes({'?', 'e', 0}), '?', 'e', 0, 200), 0);
  EXPECT_GT(watch.ms(), 790);
  EXPECT_LT(watch.ms(), 2500) << "each attempt ends on its own deadline";
  EXPECT_TRUE(sim.wait_for_commands(3, 1000));
  EXPECT_EQ(sim.received_count(), 3u);
}

TEST_F(ReplyHandOver, AnExpectedReplyWaitsForALateCaller) {
  // The caller is held up well past the 15 ms a reply nobody expects is
  // offered for: the reply it announced is still handed over at once.
  begin_reply_expectation();
  const uint8_t command[] = {0x03, 0x03, '?', 'e', 0};
  std::memcpy(library.link.tx_report, command, sizeof command);
  ASSERT_EQ(link_write(sizeof command), 5);
  ASSERT_TRUE(sim.wait_for_commands(1, 1000));
  usleep(80000);
  Stopwatch watch;
  EXPECT_EQ(wait_reply(0, 500), 0);
  EXPECT_LT(watch.ms(), 50);
  uint8_t taken[64];
  copy_reply_report(taken);
  EXPECT_EQ(std::vector<uint8_t>(taken, taken + 4), bytes({0x03, 0x04, '?', 'e'}));
  end_reply_expectation();

  // Once the command has ended, a reply nobody expects is offered briefly
  // and then stays unmarked.
  sim.send_report(bytes({0x03, 0x04, '?', 'e', 0, 7}));
  for (Stopwatch watch; taken[5] != 7 && watch.ms() < 1000;) copy_reply_report(taken);
  ASSERT_EQ(taken[5], 7) << "the report arrived";
  usleep(60000);
  EXPECT_EQ(wait_reply(0, 50), kReplyTimedOut);
}

TEST_F(ReplyHandOver, ALateReplyOfAnEarlierCommandIsNotTakenForTheNext) {
  // A reply arrives with nobody expecting it, and a direct command starts
  // right after: it must wait for its own reply and write once.
  sim.send_report(bytes({0x03, 0x04, '?', 'e', 0, 7}));
  uint8_t seen[64] = {};
  for (Stopwatch watch; seen[5] != 7 && watch.ms() < 1000;) copy_reply_report(seen);
  ASSERT_EQ(seen[5], 7) << "the reply arrived";
  const uint8_t report[] = {0x03, 0x03, '6', '>', 0x07};
  auto accept = [](const uint8_t* r) { return r[0] == 0x03 && r[2] == '6' && r[3] == '>'; };
  EXPECT_EQ(run_direct_command(report, sizeof report, DirectTiming{5, 3}, accept, reply), 0);
  EXPECT_EQ(sim.received_count(), 1u) << "written once";
}

TEST_F(ReplyHandOver, AVanishedDeviceEndsAWaitingCallAtOnce) {
  sim.add_fault(sim::no_reply('?', 'e', -1));
  Stopwatch watch;
  std::thread vanisher([this] {
    usleep(150000);
    sim.vanish();
  });
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), -1);
  const double took = watch.ms();
  vanisher.join();
  EXPECT_GT(took, 140);
  EXPECT_LT(took, 600) << "not the 3 s of the attempt";

  EXPECT_FALSE(link_is_open());
  EXPECT_EQ(register_report_handler('J', 0xFFFF, nullptr), -1);
  Stopwatch again;
  EXPECT_EQ(wait_reply(3, 0), kReplyTimedOut);
  EXPECT_EQ(exchange(bytes({'?', 'e', 0}), '?', 'e', 3, 0), -1);
  EXPECT_LT(again.ms(), 50);
  EXPECT_EQ(close_link(0, 0), 0) << "closing still works";
}

std::atomic<int> handler_close_result{0};
std::atomic<int> handler_open_result{0};
std::atomic<int> handler_wait_result{0};
std::atomic<bool> handler_ran{false};
void meddling_handler(int, int, const uint8_t*) {
  handler_close_result = close_link(0, 0);
  handler_open_result = open_link(0, 0, 1);
  handler_wait_result = wait_reply(1, 0);
  handler_ran = true;
}

TEST_F(ReplyHandOver, AHandlerCannotCloseReopenOrWaitOnItsOwnThread) {
  handler_ran = false;
  ASSERT_EQ(register_report_handler('J', 0xFFFF, meddling_handler), 0);
  sim.send_report(bytes({0x03, 0x02, 'J', 0x00}));
  Stopwatch watch;
  while (!handler_ran && watch.ms() < 2000) usleep(1000);
  ASSERT_TRUE(handler_ran);
  EXPECT_EQ(handler_close_result, -1);
  EXPECT_EQ(handler_open_result, -1);
  EXPECT_EQ(handler_wait_result, kReplyTimedOut);
  EXPECT_LT(watch.ms(), 500) << "the wait failed at once";
  EXPECT_EQ(unregister_report_handler('J', 0xFFFF), 0);
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1) << "the link kept working";
}

// Writes `count` numbered 6-byte reports by hand while the simulator does
// not read, and checks that every one arrived once, whole and in order.
void write_numbered_reports(sim::Simulator& sim, int count) {
  sim.clear_traffic();
  sim.pause_reading(300);
  for (int i = 0; i < count; ++i) {
    const uint8_t report[] = {0x03, 0x04, '?', 'z', static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
    std::memcpy(library.link.tx_report, report, sizeof report);
    ASSERT_EQ(link_write(sizeof report), 6) << "report " << i;
  }
  ASSERT_TRUE(sim.wait_for_commands(static_cast<size_t>(count), 3000));
  const auto received = sim.received_commands();
  ASSERT_EQ(received.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(received[static_cast<size_t>(i)],
              bytes({0x03, 0x04, '?', 'z', i & 0xFF, (i >> 8) & 0xFF})) << "report " << i;
  }
}

TEST_F(ReplyHandOver, AFullNodeQueueIsWaitedOutAndNothingIsSentTwice) {
  // 40000 bytes are more than a pty holds.
  write_numbered_reports(sim, 6000);
}

TEST_F(ReplyHandOver, AFullDaemonSocketIsWaitedOutAndNothingIsSentTwice) {
  close_link(0, 0);
  const std::string path = ::testing::TempDir() + "tmode-handover-" + std::to_string(getpid());
  sim::Simulator daemon;
  ASSERT_TRUE(daemon.start_socket(path));
  library.link.socket_mode = 0;
  {
    test::FakeNodes nodes;  // the daemon's socket at this path
    nodes.set_daemon_socket_path(path);
    const char* missing = "/nonexistent/node";
    set_device_path(missing, static_cast<int>(std::strlen(missing)));
    ASSERT_GT(open_link(0, 0, 1), 0);
  }
  write_numbered_reports(daemon, 6000);
  close_link(0, 0);
  library.link.socket_mode = 0;
}

TEST_F(ReplyHandOver, ALibraryThatStopsReadingDoesNotStallTheSimulator) {
  close_link(0, 0);
  const std::string path = ::testing::TempDir() + "tmode-stall-" + std::to_string(getpid());
  sim::Simulator daemon;
  ASSERT_TRUE(daemon.start_socket(path));
  library.link.socket_mode = 0;
  {
    test::FakeNodes nodes;
    nodes.set_daemon_socket_path(path);
    const char* missing = "/nonexistent/node";
    set_device_path(missing, static_cast<int>(std::strlen(missing)));
    ASSERT_GT(open_link(0, 0, 0), 0);  // no reader: nobody reads the socket
  }
  daemon.flood(bytes({0x03, 0x04, '?', 'Q', 0, 2}), 20000, 400);
  usleep(450000);
  const uint8_t command[] = {0x03, 0x03, '?', 'e', 0};
  std::memcpy(library.link.tx_report, command, sizeof command);
  ASSERT_EQ(link_write(sizeof command), 5);
  EXPECT_TRUE(daemon.wait_for_commands(1, 1000)) << "the simulator still serves";
  EXPECT_GT(daemon.dropped_writes(), 0u);
  Stopwatch watch;
  daemon.stop();
  EXPECT_LT(watch.ms(), 500);
  close_link(0, 0);
  library.link.socket_mode = 0;
}

TEST_F(ReplyHandOver, DescriptorsThatCannotBePackedAreRefused) {
  close_link(0, 0);
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = limit.rlim_max = std::max<rlim_t>(limit.rlim_max, 32800);
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) GTEST_SKIP() << "cannot raise the descriptor limit";

  // Every descriptor up to 32767 taken: the node would come out as 32768.
  const int seed = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  std::vector<int> fillers;
  for (int fd = ::fcntl(seed, F_DUPFD_CLOEXEC, 0); fd >= 0 && fd <= 32767;
       fd = ::fcntl(seed, F_DUPFD_CLOEXEC, 0)) {
    fillers.push_back(fd);
  }
  EXPECT_EQ(open_link(0, 0, 1), -1);
  EXPECT_EQ(library.link.read_fd, -1);
  const int probe = ::fcntl(seed, F_DUPFD_CLOEXEC, 0);
  EXPECT_EQ(probe, 32768) << "the refused descriptor was closed";  // not leaked
  ::close(probe);

  // One low descriptor free again: the link opens there.
  ::close(fillers[100]);
  const int result = open_link(0, 0, 1);
  EXPECT_GT(result, 0);
  EXPECT_EQ(result, (library.link.read_fd << 16) | library.link.write_fd);
  close_link(0, 0);
  for (int fd : fillers) ::close(fd);
  ::close(seed);
  setrlimit(RLIMIT_NOFILE, &saved);
}

}  // namespace
}  // namespace tmode
