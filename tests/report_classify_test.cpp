#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "library/library_state.h"
#include "link/report_handlers.h"

namespace tmode {
namespace {

std::atomic<int> callback_calls{0};
void count_call(int, int, const uint8_t*) { ++callback_calls; }

// The handler table needs a running reader to accept registrations; these
// tests fill it without one.
class ClassifyReport : public ::testing::Test {
 protected:
  void SetUp() override {
    library.link.reader_running = 1;
    ASSERT_EQ(register_report_handler('J', 0xFFFF, count_call), 0);
    ASSERT_EQ(register_report_handler('?', 'h', count_call), 0);
    ASSERT_EQ(register_report_handler('?', 'S', nullptr), 0);
    ASSERT_EQ(register_report_handler('6', 0x13, count_call), 0);
    callback_calls = 0;
  }
  void TearDown() override {
    clear_report_handlers();
    library.link.reader_running = 0;
  }

  int classify(std::initializer_list<uint8_t> report) {
    const uint8_t* r = report.begin();
    return classify_report(r[1], r[2], r[3], static_cast<int>(report.size()), r);
  }
};

TEST_F(ClassifyReport, RulesInOrder) {
  struct Case {
    const char* what;
    std::initializer_list<uint8_t> report;
    int kind;
    int callbacks;
  };
  const Case cases[] = {
      {"rule 1: 0x82 marker, size 6", {0x03, 0x82, '?', 'e', 0, 0}, kReportDropped, 0},
      {"rule 1: 0x83 marker, size 6", {0x03, 0x83, 'J', 1, 0, 0}, kReportDropped, 0},
      {"rule 2: event class ';'", {0x03, 0x02, ';', 'e'}, kReportHandled, 0},
      {"rule 2: event class 'O'", {0x03, 0x02, 'O', 0}, kReportHandled, 0},
      {"rule 3: '6' with sub 0x50", {0x03, 0x02, '6', 0x50}, kReportHandled, 0},
      {"rule 3: '6' with sub 0x53", {0x03, 0x02, '6', 0x53}, kReportHandled, 0},
      {"rule 4: '6' with sub 0x54 is a reply", {0x03, 0x02, '6', 0x54}, kReportReply, 0},
      {"rule 4: no handler", {0x03, 0x04, '?', 'e', 0, 1}, kReportReply, 0},
      {"rule 5: '6',0x13 long", {0x03, 11, '6', 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kReportDropped, 0},
      {"rule 5: '6',0x13 short", {0x03, 10, '6', 0x13, 0, 0, 0, 0, 0, 0, 0, 0}, kReportReply, 0},
      {"rule 6: filter without callback", {0x03, 0x02, '?', 'S'}, kReportDropped, 0},
      {"rule 7: any sub byte goes to the 'J' handler", {0x03, 0x03, 'J', 0x77, 1}, kReportHandled, 1},
      {"rule 7: exact sub byte", {0x03, 0x02, '?', 'h'}, kReportHandled, 1},
  };
  for (const Case& c : cases) {
    callback_calls = 0;
    EXPECT_EQ(classify(c.report), c.kind) << c.what;
    EXPECT_EQ(callback_calls.load(), c.callbacks) << c.what;
  }
}

TEST_F(ClassifyReport, RegistrationLimitsAndKeys) {
  // Four entries are in use; 28 more fit, the 33rd does not.
  for (int i = 0; i < 28; ++i) ASSERT_EQ(register_report_handler('Z', i, nullptr), 0);
  EXPECT_EQ(register_report_handler('Z', 99, nullptr), -2);
  // -1 and 0xFFFF name the same key.
  EXPECT_EQ(unregister_report_handler('J', -1), 0);
  EXPECT_EQ(unregister_report_handler('J', 0xFFFF), -1);
  EXPECT_EQ(register_report_handler('Z', 99, nullptr), 0);

  library.link.reader_running = 0;
  EXPECT_EQ(register_report_handler('Q', 1, nullptr), -1);
}

}  // namespace
}  // namespace tmode
