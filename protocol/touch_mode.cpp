#include "protocol/touch_mode.h"

#include "link/link_session.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr uint8_t kClass = '?';
constexpr uint8_t kLetter = 'e';
constexpr uint8_t kRead = 0x00;
constexpr uint8_t kSwitch = 0x01;
constexpr uint8_t kPrepare = 0x02;

int exchange_mode_packet(const uint8_t* packet, int length, uint8_t* reply) {
  return exchange_command(packet, length, kClass, kLetter, reply, 3, 0);
}

}  // namespace

int get_touch_mode(int, int, uint8_t* out) {
  const uint8_t packet[] = {kClass, kLetter, kRead};
  uint8_t reply[kReportSize] = {};
  if (exchange_mode_packet(packet, sizeof packet, reply) != 0) return -1;
  if (reply[4] != kRead) return -1;
  out[0] = reply[5];
  return 1;
}

int set_touch_mode(int, int, int mode) {
  const uint8_t prepare[] = {kClass, kLetter, kPrepare, 0x01};
  uint8_t reply[kReportSize] = {};
  // Only a wrong answer stops the switch; no answer at all does not.
  if (exchange_mode_packet(prepare, sizeof prepare, reply) == 0 && reply[4] != kPrepare) return -1;

  const uint8_t value = static_cast<uint8_t>(mode & 0xFF);
  const uint8_t change[] = {kClass, kLetter, kSwitch, value};
  uint8_t answer[kReportSize] = {};
  if (exchange_mode_packet(change, sizeof change, answer) != 0) return -1;
  return answer[4] == kSwitch && answer[5] == value ? 0 : -1;
}

}  // namespace tmode
