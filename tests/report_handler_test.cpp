#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "library/library_state.h"
#include "link/link.h"
#include "link/reply_wait.h"
#include "link/report_handlers.h"
#include "protocol/touch_mode.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;

std::atomic<int> j_reports{0};
std::atomic<int> last_sub{-1};
void on_j_report(int, int size, const uint8_t* report) {
  if (size >= 4) last_sub = report[3];
  ++j_reports;
}

class ReportHandlers : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    j_reports = 0;
    last_sub = -1;
  }
};

TEST_F(ReportHandlers, EveryReportOfAClassGoesToItsHandlerAndWakesNobody) {
  ASSERT_EQ(register_report_handler('J', 0xFFFF, on_j_report), 0);
  sim.send_report(bytes({0x03, 0x04, 'J', 0x01, 0x10, 0x20}), 20);
  sim.send_report(bytes({0x03, 0x04, 'J', 0x7E, 0x10, 0x20}), 40);
  EXPECT_EQ(wait_reply(0, 150), kReplyTimedOut);
  EXPECT_EQ(j_reports.load(), 2);
  EXPECT_EQ(last_sub.load(), 0x7E);

  EXPECT_EQ(unregister_report_handler('J', -1), 0);
  sim.send_report(bytes({0x03, 0x04, 'J', 0x01, 0x10, 0x20}));
  EXPECT_EQ(wait_reply(0, 200), 0) << "without a handler the report is a reply";
  EXPECT_EQ(j_reports.load(), 2);
}

TEST_F(ReportHandlers, EventsAndMarkedReportsNeverWakeAWaiter) {
  for (const auto& report : {bytes({0x03, 0x04, ';', 'e', 0, 0}), bytes({0x03, 0x82, '?', 'e', 0, 0}),
                             bytes({0x03, 0x02, '6', 0x51})}) {
    sim.send_report(report, 20);
    EXPECT_EQ(wait_reply(0, 100), kReplyTimedOut) << int(report[2]);
  }
}

std::atomic<bool> callback_entered{false};
std::atomic<bool> callback_finished{false};
void slow_callback(int, int, const uint8_t*) {
  callback_entered = true;
  usleep(200000);
  callback_finished = true;
}

TEST_F(ReportHandlers, UnregisterWaitsForARunningCallback) {
  callback_entered = false;
  callback_finished = false;
  ASSERT_EQ(register_report_handler('J', 0xFFFF, slow_callback), 0);
  sim.send_report(bytes({0x03, 0x02, 'J', 0x00}));
  while (!callback_entered) usleep(1000);
  Stopwatch watch;
  EXPECT_EQ(unregister_report_handler('J', 0xFFFF), 0);
  EXPECT_TRUE(callback_finished) << "returned while the callback still ran";
  EXPECT_GT(watch.ms(), 50);
}

TEST_F(ReportHandlers, CloseClearsTheTable) {
  for (int i = 0; i < kHandlerSlots; ++i) ASSERT_EQ(register_report_handler('J', i, nullptr), 0);
  EXPECT_EQ(register_report_handler('J', 99, nullptr), -2);
  close_link(0, 0);
  open_on_sim();
  EXPECT_EQ(register_report_handler('J', 99, nullptr), 0);
  EXPECT_EQ(add_report_filter(0, 0, 'S', 1), 0);
  EXPECT_EQ(remove_report_filter(0, 0, 'S', 1), 0);
  EXPECT_EQ(remove_report_filter(0, 0, 'S', 1), -1);
}

}  // namespace
}  // namespace tmode
