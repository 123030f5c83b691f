#include "protocol/controller_commands.h"

#include <cstring>
#include <initializer_list>

#include "protocol/protocol_state.h"
#include "link/link.h"
#include "link/link_session.h"
#include "protocol/exchange.h"
#include "protocol/reply_fields.h"

namespace tmode {

namespace {

constexpr int kWaitSeconds = 3;
constexpr int kLongWaitSeconds = 10;

// The code command_3a_fe carries: a digit, a capital letter and a byte
// above 0x7F, as the firmware expects them.
constexpr uint8_t kUnlockCode[3] = {'7', 'K', 0xA5};

// One exchange, then the command's own test of the reply: the exchange's
// failure unchanged, -1 when the reply does not pass the test, else 0.
int exchange_checked(std::initializer_list<uint8_t> packet, uint8_t reply_class, int reply_sub,
                     std::initializer_list<int> accept, uint8_t* reply,
                     int seconds = kWaitSeconds) {
  const int result = exchange_command(packet.begin(), static_cast<int>(packet.size()), reply_class,
                                      reply_sub, reply, seconds, 0);
  if (result != 0) return result;
  return reply_matches(reply, accept) ? 0 : -1;
}

int minus_one_on_failure(int result) { return result == 0 ? 0 : -1; }

void fill_record(ValueRecord5* record, uint8_t first, uint8_t second) {
  std::memset(record->bytes, 0, sizeof record->bytes);
  record->bytes[0] = first;
  record->bytes[1] = second;
}

uint8_t low(int value) { return static_cast<uint8_t>(value & 0xFF); }
uint8_t high(int value) { return static_cast<uint8_t>((value >> 8) & 0xFF); }

}  // namespace

int read_controller_level(int, int, uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange_checked({'?', 'X'}, '?', 'X', {}, reply);
  if (result != 0) return result;
  return copy_reply_payload(reply, out);
}

int command_3f_4d(int, int, int value) {
  uint8_t reply[kReportSize];
  return exchange_checked({'?', 'M', low(value), high(value)}, '?', 'M',
                          {kAnyByte, kAnyByte, kAnyByte, kAnyByte, low(value), high(value)}, reply);
}

int command_3f_6c(int, int, int a, int b) {
  uint8_t reply[kReportSize];
  const int result = exchange_checked({'?', 'l', low(a), low(b)}, '?', 'l',
                                      {kAnyByte, kAnyByte, kAnyByte, kAnyByte, kAnyByte, low(b)},
                                      reply);
  return result == 0 ? 1 : result;
}

int reset_controller(int, int) {
  uint8_t reply[kReportSize];
  return minus_one_on_failure(exchange_checked({'g'}, 'g', kAnySub, {kReportId, 0x01, 'g'}, reply));
}

int read_state_byte(int, int, ValueRecord5* record) {
  uint8_t reply[kReportSize];
  if (exchange_checked({'9', 0}, '9', kAnySub, {kReportId, 0x04, '9'}, reply) != 0) return -1;
  fill_record(record, reply[3], 0);
  return 0;
}

int check_controller_ready(int, int) {
  uint8_t reply[kReportSize];
  return minus_one_on_failure(
      exchange_checked({'9', 1}, '9', 2, {kReportId, kAnyByte, '9', 2}, reply));
}

int read_state_word(int, int, ValueRecord5* record) {
  uint8_t reply[kReportSize];
  if (exchange_checked({'9', 2}, '9', 4, {kReportId, 0x04, '9', 4}, reply) != 0) return -1;
  fill_record(record, reply[4], reply[5]);
  return 0;
}

int command_3a_fe(int, int) {
  uint8_t reply[kReportSize];
  return minus_one_on_failure(
      exchange_checked({':', 0xFE, kUnlockCode[0], kUnlockCode[1], kUnlockCode[2]}, ':', 0xFE,
                       {kReportId, kAnyByte, ':', 0xFE, 1}, reply));
}

int command_3a_04(int, int) {
  uint8_t reply[kReportSize];
  return minus_one_on_failure(exchange_checked({':', 4}, ':', 4, {kReportId, 0x03, ':', 4, 1},
                                               reply, kLongWaitSeconds));
}

int read_sensor_size(int, int, ValueRecord5* record) {
  uint8_t reply[kReportSize];
  if (exchange_checked({'6', 0x0F}, '6', 0x0F, {kReportId, 0x04, '6', 0x0F}, reply) != 0) return -1;
  fill_record(record, reply[4], reply[5]);
  // The sensor's size as the diagnostics count it.
  protocol_state().ranges.rx_total = reply[4];
  protocol_state().ranges.tx_total = reply[5];
  return 0;
}

}  // namespace tmode
