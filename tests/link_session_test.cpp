#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <thread>
#include <vector>

#include "link/discovery.h"
#include "library/library_state.h"
#include "link/link.h"
#include "link/reply_wait.h"
#include "link/report_handlers.h"
#include "protocol/touch_mode.h"
#include "tests/support/fake_nodes.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;

class LinkSession : public SimLinkTest {
 protected:
  LinkSession() { open_in_setup = false; }

  // Writes a command by hand, as the library's commands do before waiting:
  // the reply is announced first.
  void write_command(std::vector<uint8_t> report) {
    begin_reply_expectation();
    std::memcpy(library.link.tx_report, report.data(), report.size());
    ASSERT_EQ(link_write(static_cast<int>(report.size())), static_cast<int>(report.size()));
  }
};

TEST_F(LinkSession, OpenAndCloseLifecycle) {
  open_on_sim();
  const int fd = library.link.read_fd;
  EXPECT_EQ(library.link.write_fd, fd);
  EXPECT_EQ(library.link.reader_running, 1);
  EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(open_link(0, 0, 1), -1) << "an open link is not opened again";

  EXPECT_EQ(close_link(0, 0), 0);
  EXPECT_EQ(library.link.read_fd, -1);
  EXPECT_EQ(library.link.reader_running, 0);
  EXPECT_EQ(close_link(0, 0), -1) << "closing twice";
  EXPECT_EQ(std::string(library.link.device_path), sim.pty_path()) << "the path survives a close";

  const int result = open_link(0, 0, 1);
  EXPECT_EQ(result, (library.link.read_fd << 16) | library.link.write_fd);
  EXPECT_GT(result, 0);
}

TEST_F(LinkSession, CloseRightAfterOpenIsSafe) {
  for (int i = 0; i < 200; ++i) {
    open_on_sim();
    ASSERT_EQ(close_link(0, 0), 0) << "round " << i;
  }
}

TEST_F(LinkSession, StaleInputIsDrainedAtOpen) {
  sim.send_report(bytes({0x03, 0x04, '?', 'e', 0, 9}));
  usleep(50000);  // the report sits in the pty unread
  open_on_sim();
  EXPECT_EQ(wait_reply(0, 100), kReplyTimedOut);
}

TEST_F(LinkSession, WithoutTheReaderNoReplyArrives) {
  const std::string& path = sim.pty_path();
  set_device_path(path.c_str(), static_cast<int>(path.size()));
  ASSERT_GT(open_link(0, 0, 0), 0);
  EXPECT_EQ(library.link.reader_running, 0);
  EXPECT_EQ(register_report_handler('J', 0xFFFF, nullptr), -1);
  write_command(bytes({0x03, 0x03, '?', 'e', 0}));
  EXPECT_EQ(wait_reply(0, 100), kReplyTimedOut);
  end_reply_expectation();
  EXPECT_EQ(close_link(0, 0), 0);
}

TEST_F(LinkSession, ReplyArrivingBeforeTheWaitIsHandedOver) {
  open_on_sim();
  write_command(bytes({0x03, 0x03, '?', 'e', 0}));
  // The reply is in before anybody waits, and stays there longer than a
  // reply nobody expects would be offered.
  bool arrived = false;
  for (Stopwatch watch; !arrived && watch.ms() < 1000; usleep(500)) {
    pthread_mutex_lock(&library.link.reply_mutex);
    arrived = library.link.reply_pending > 0;
    pthread_mutex_unlock(&library.link.reply_mutex);
  }
  ASSERT_TRUE(arrived);
  usleep(30000);
  Stopwatch watch;
  EXPECT_EQ(wait_reply(0, 500), 0);
  EXPECT_LT(watch.ms(), 20);
  end_reply_expectation();
}

TEST_F(LinkSession, ReplyNobodyWaitsForStaysUnmarked) {
  open_on_sim();
  sim.send_report(bytes({0x03, 0x04, '?', 'e', 0, 7}));
  uint8_t reply[64] = {};
  for (Stopwatch watch; reply[5] != 7 && watch.ms() < 1000;) copy_reply_report(reply);
  ASSERT_EQ(reply[5], 7) << "the report arrived";
  usleep(60000);
  EXPECT_EQ(wait_reply(0, 50), kReplyTimedOut);
  copy_reply_report(reply);
  EXPECT_EQ(reply[5], 7) << "the report is still there, unmarked";
}

TEST_F(LinkSession, WaitRemainingCountsDownAcrossWakeUps) {
  open_on_sim();
  sim.send_report(bytes({0x03, 0x02, '?', 'Q'}), 200);
  int s = 0, ms = 500;
  Stopwatch watch;
  EXPECT_EQ(wait_reply_remaining(s, ms), 0);
  const double waited = watch.ms();
  EXPECT_GT(waited, 190);
  EXPECT_LT(waited, 450);
  EXPECT_EQ(s, 0);
  EXPECT_NEAR(ms, 501 - waited, 20) << "the time left is what the wait did not use";
}

TEST_F(LinkSession, WorksOnADescriptorAbove1024) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 1100) GTEST_SKIP() << "descriptor limit too low";
  const rlimit saved = limit;
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 1100);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

  // Occupy every free descriptor below 1030 so the link gets a high one.
  std::vector<int> fillers;
  int fd = -1;
  do {
    fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) fillers.push_back(fd);
  } while (fd >= 0 && fd < 1030);
  open_on_sim();
  EXPECT_GE(library.link.read_fd, 1024);
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  EXPECT_EQ(mode, 0);
  close_link(0, 0);
  for (int filler : fillers) ::close(filler);
  setrlimit(RLIMIT_NOFILE, &saved);
}

TEST_F(LinkSession, SignalsToTheReaderDoNotStopIt) {
  struct sigaction action{};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: every wait is interrupted
  struct sigaction saved{};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &saved), 0);
  open_on_sim();
  for (int i = 0; i < 50; ++i) {
    pthread_kill(library.link.reader, SIGUSR1);
    usleep(500);
  }
  uint8_t mode = 0xFF;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  close_link(0, 0);
  sigaction(SIGUSR1, &saved, nullptr);
}

TEST_F(LinkSession, AnIdleLinkUsesNoCpu) {
  open_on_sim();
  const double before = test::process_cpu_ms();
  usleep(300000);
  EXPECT_LT(test::process_cpu_ms() - before, 15);
}

TEST_F(LinkSession, FallsBackToTheDaemonSocket) {
  test::FakeNodes nodes;
  const std::string socket_path = ::testing::TempDir() + "tmode-daemon-" + std::to_string(getpid());
  nodes.set_daemon_socket_path(socket_path);
  sim::Simulator daemon;
  ASSERT_TRUE(daemon.start_socket(socket_path));
  daemon.update([](sim::ControllerState& s) { s.touch_mode = 3; });

  const char* missing = "/nonexistent/node";
  set_device_path(missing, static_cast<int>(std::strlen(missing)));
  library.link.socket_mode = 0;
  ASSERT_GT(open_link(0, 0, 1), 0);
  EXPECT_EQ(library.link.socket_mode, 1);
  uint8_t mode = 0;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(set_touch_mode(0, 0, 2), 0);
  EXPECT_EQ(daemon.state().touch_mode, 2);

  // The daemon goes away: writes fail with -1 and no SIGPIPE ends the process.
  daemon.vanish();
  usleep(50000);
  EXPECT_EQ(get_touch_mode(0, 0, &mode), -1);
  EXPECT_EQ(close_link(0, 0), 0);
  EXPECT_EQ(library.link.socket_mode, 1) << "never cleared";
  library.link.socket_mode = 0;
}

TEST_F(LinkSession, NeitherNodeNorSocketMeansNoLink) {
  test::FakeNodes nodes;  // daemon socket path that does not exist
  const char* missing = "/nonexistent/node";
  set_device_path(missing, static_cast<int>(std::strlen(missing)));
  EXPECT_EQ(open_link(0, 0, 1), -1);
  EXPECT_EQ(library.link.read_fd, -1);
  EXPECT_EQ(library.link.socket_mode, 0);
  set_device_path("", 0);
  EXPECT_EQ(open_link(0, 0, 1), -1) << "an empty path";
}

}  // namespace
}  // namespace tmode
