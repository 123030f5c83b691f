#include "maintenance/test_commands.h"

#include <initializer_list>

#include "link/link_session.h"
#include "protocol/exchange.h"
#include "protocol/reply_fields.h"

namespace tmode {

namespace {

uint8_t byte(int value) { return static_cast<uint8_t>(value & 0xFF); }

// The packet from a cleared buffer through the exchange, class '?' and the
// packet's letter unless told otherwise.
int exchange(std::initializer_list<uint8_t> packet, uint8_t* reply, uint8_t reply_class = '?') {
  uint8_t buffer[kReportSize] = {};
  int length = 0;
  for (const uint8_t b : packet) buffer[length++] = b;
  return exchange_command(buffer, length, reply_class, buffer[1], reply, 3, 0);
}

}  // namespace

int send_test_mode(int mode) {
  const uint8_t packet[] = {'?', 'S', byte(mode == 3 ? 2 : mode)};
  return send_command(packet, sizeof packet) == 0 ? 0 : -1;
}

int start_chip_scan(int a, int b) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'D', byte(a), byte(b)}, reply);
  if (result != 0) return result;
  return reply[4] == byte(a) && reply[5] == byte(b) && reply[6] == 1 ? 0 : -1;
}

int command_3f_4f(int a, uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'O', byte(a)}, reply);
  if (result != 0) return result;
  *out = reply[4];
  return 1;
}

int command_3f_50(uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'P'}, reply);
  if (result != 0) return result;
  *out = reply[4];
  return 1;
}

int command_3f_5b(int a) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', '[', byte(a)}, reply);
  if (result != 0) return result;
  return reply[4] == byte(a) ? 0 : -1;
}

int read_freq_index(uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'T'}, reply);
  if (result != 0) return result;
  *out = reply[4];
  return 1;
}

int read_status_code(uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'N'}, reply);
  if (result != 0) return result;
  out[0] = reply[4];
  out[1] = reply[5];
  if (reply[1] > 4) {
    out[2] = reply[6];
    out[3] = reply[7];
  }
  return 1;
}

int command_3f_6a(int a, int b) {
  uint8_t reply[kReportSize];
  return exchange({'?', 'j', byte(a), byte(b)}, reply);
}

int command_3f_52(int a, uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'R', byte(a)}, reply);
  if (result != 0) return result;
  *out = reply[4];
  return 1;
}

int set_touch_info(int a) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'i', byte(a)}, reply);
  if (result != 0) return result;
  return reply[4] == byte(a) ? 0 : -1;
}

int command_3f_6e() {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'n'}, reply);
  return result != 0 ? result : 1;
}

int command_3f_6b(int a, uint8_t* out) {
  uint8_t reply[kReportSize];
  const int result = exchange({'?', 'k', byte(a)}, reply);
  if (result != 0) return result;
  copy_whole_reply(reply, out);
  return 1;
}

int command_36_4f_echoed(int a) {
  uint8_t reply[kReportSize];
  const int result = exchange({'6', 'O', byte(a)}, reply, '6');
  if (result != 0) return result;
  return reply[4] == byte(a) ? 0 : -1;
}

}  // namespace tmode
