#include "protocol/full_report_commands.h"

#include <cstdint>
#include <cstring>

#include "link/link_session.h"
#include "link/reply_wait.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

// Written whether or not the link is open: with no descriptor each write
// fails, and so does the command.
int full_report(uint8_t class_byte, uint8_t sub_byte, int wait_s) {
  uint8_t report[kReportSize] = {kReportId, 0x02, class_byte, sub_byte};
  std::memcpy(link_session().tx_report, report, kReportSize);
  clear_reply_report();
  auto accept = [&](const uint8_t* r) { return r[2] == class_byte && r[3] == sub_byte && r[4] == 1; };
  return exchange_built_report(kReportSize, accept, nullptr, wait_s, 0);
}

}  // namespace

int command_41_00(int, int) { return full_report('A', 0x00, 3); }
int command_41_ff(int, int) { return full_report('A', 0xFF, 3); }
int command_3a_e0(int, int) { return full_report(':', 0xE0, 15); }
int command_3a_10(int, int) { return full_report(':', 0x10, 3); }

}  // namespace tmode
