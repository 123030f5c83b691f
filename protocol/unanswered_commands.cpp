#include "protocol/unanswered_commands.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "link/link_session.h"
#include "link/link.h"

namespace tmode {

namespace {

// A short write, or none at all, is a failure.
int write_once(std::initializer_list<uint8_t> report) {
  uint8_t* tx = link_session().tx_report;
  std::memset(tx, 0, kReportSize);
  std::memcpy(tx, report.begin(), report.size());
  const int size = static_cast<int>(report.size());
  return link_write(size) == size ? 0 : -1;
}

}  // namespace

int command_36_3f(int, int, int v) {
  if (!link_is_open()) return -1;
  if (v == 1) return write_once({0x03, 0x04, '6', '?', 0x01, 0x05});
  if (v == 2) return write_once({0x03, 0x03, '6', '?', 0x02});
  return -1;
}

int command_3a_ff(int, int) {
  if (!link_is_open()) return -1;
  return write_once({0x03, 0x02, ':', 0xFF});
}

int send_report_id5() { return write_once({0x05, 0x02, 0x00}); }

}  // namespace tmode
