#include "protocol/direct_commands.h"

#include <cstring>
#include <initializer_list>

#include "link/link_session.h"
#include "link/reply_wait.h"
#include "protocol/controller_commands.h"
#include "protocol/exchange.h"
#include "protocol/reply_fields.h"

namespace tmode {

namespace {

constexpr int kPauseBeforeResetMs = 100;
constexpr DirectTiming kLongWait{100, 5};

// The report as written, and the header the reply must begin with.
int direct(std::initializer_list<uint8_t> report, std::initializer_list<int> accept,
           uint8_t* reply = nullptr, DirectTiming timing = DirectTiming{}) {
  return run_direct_command(report.begin(), static_cast<int>(report.size()), timing,
                            [&](const uint8_t* r) { return reply_matches(r, accept); }, reply);
}

int reset_after(int result) {
  if (result != 0) return result;
  sleep_ms(kPauseBeforeResetMs);
  return reset_controller(0, 0);
}

uint8_t byte(int value) { return static_cast<uint8_t>(value & 0xFF); }
uint8_t high(int value) { return static_cast<uint8_t>((value >> 8) & 0xFF); }

}  // namespace

int command_41(int, int) { return direct({kReportId, 0x01, 'A'}, {kReportId, 0x01, 'A'}); }

int command_36_3d(int, int) {
  return reset_after(direct({kReportId, 0x02, '6', '='}, {kReportId, 0x02, '6', '='}));
}

int command_36_12_13(int, int, int flag) {
  const uint8_t report[] = {kReportId, 0x02, '6', static_cast<uint8_t>(flag != 0 ? 0x13 : 0x12)};
  // The controller may answer either sub byte, whichever was asked.
  auto accept = [](const uint8_t* r) {
    return reply_matches(r, {kReportId, 0x04, '6'}) && (r[3] == 0x12 || r[3] == 0x13);
  };
  return run_direct_command(report, sizeof report, DirectTiming{}, accept, nullptr);
}

int command_36_3e(int, int, int v) {
  return direct({kReportId, 0x03, '6', '>', byte(v)}, {kReportId, 0x03, '6', '>'});
}

int command_36_15(int, int, int a, int b, int c, int d) {
  return direct({kReportId, 0x0B, '6', 0x15, 0x01, high(c), byte(c), high(d), byte(d), high(a),
                 byte(a), high(b), byte(b)},
                {kReportId, kAnyByte, '6', 0x15});
}

int command_36_16(int, int, int a, int b, int c, int d) {
  return direct({kReportId, 0x0B, '6', 0x16, 0x01, high(a), byte(a), high(b), byte(b), high(c),
                 byte(c), high(d), byte(d)},
                {kReportId, kAnyByte, '6', 0x16});
}

int command_36_17(int, int, int a, int b) {
  return direct({kReportId, 0x07, '6', 0x17, 0x01, high(a), byte(a), high(b), byte(b)},
                {kReportId, kAnyByte, '6', 0x17});
}

int command_36_clear(int, int, int sub) {
  return direct({kReportId, 0x03, '6', byte(sub), 0x00}, {kReportId, 0x03, '6', byte(sub), 0x00});
}

int command_36_set(int, int, int sub) {
  return direct({kReportId, 0x03, '6', byte(sub), 0x01}, {kReportId, 0x03, '6', byte(sub), 0x01});
}

int command_36_49(int, int, int flag) {
  const uint8_t value = flag != 0 ? 1 : 0;
  return reset_after(
      direct({kReportId, 0x03, '6', 'I', value}, {kReportId, 0x02, '6', 'I'}, nullptr, kLongWait));
}

int command_36_4f(int, int, int v) {
  uint8_t reply[kReportSize];
  if (direct({kReportId, 0x03, '6', 'O', byte(v)}, {kReportId, 0x03, '6', 'O'}, reply) != 0) {
    return -1;
  }
  return reply[4];
}

int query_features(int, int, uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = direct({kReportId, 0x02, '6', 0x14}, {kReportId, kAnyByte, '6', 0x14}, reply);
  if (result != 0) return result;
  if (reply[1] != 2) copy_reply_payload(reply, out);
  return 0;
}

int command_35(int, int, int v, ValueRecord5* record) {
  uint8_t reply[kReportSize];
  const int result = direct({kReportId, 0x02, '5', byte(v)}, {kReportId, 0x04, '5', byte(v)}, reply);
  if (result != 0) return result;
  std::memset(record->bytes, 0, sizeof record->bytes);
  record->bytes[0] = reply[4];
  record->bytes[1] = reply[5];
  return 0;
}

int command_34(int, int, int v) {
  return direct({kReportId, 0x02, '4', byte(v)}, {kReportId, kAnyByte, '3', byte(v)});
}

int command_34_0a(int, int, int v) {
  return direct({kReportId, 0x03, '4', 0x0A, byte(v)}, {kReportId, 0x02, '3', byte(v)});
}

}  // namespace tmode
