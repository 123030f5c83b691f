#include "protocol/controller_info.h"

#include <cstdint>
#include <cstring>

#include "link/link_session.h"
#include "protocol/protocol_state.h"
#include "link/link.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

int query_text(uint8_t command, char* cached, char* out) {
  if (!link_is_open()) return -1;
  char text[kTextFieldSize] = {};
  const uint8_t packet[1] = {command};
  uint8_t reply[kReportSize];
  if (exchange_command(packet, 1, command, kAnySub, reply, 3, 0) != 0) return -1;
  if (reply[0] != kReportId || reply[2] != command) return -1;

  const int available = reply[1] - 1;
  int taken = 0;
  while (taken < available && taken < kTextFieldSize && reply[3 + taken] != 0) {
    text[taken] = static_cast<char>(reply[3 + taken]);
    ++taken;
  }
  std::memcpy(cached, text, kTextFieldSize);
  std::memcpy(out, text, kTextFieldSize);
  return taken;
}

}  // namespace

int get_type_name(int, int, char* out) { return query_text('F', protocol_state().cached_type_name, out); }

int get_model_name(int, int, char* out) { return query_text('E', protocol_state().cached_model_name, out); }

int get_firmware_version(int, int, char* out) {
  return query_text('D', protocol_state().cached_firmware_version, out);
}

int get_firmware_version_direct(int, int, char* out) {
  const uint8_t report[3] = {kReportId, 0x01, 'D'};
  uint8_t reply[kReportSize];
  const int result = run_direct_command(report, sizeof report, DirectTiming{},
                                        [](const uint8_t*) { return true; }, reply);
  if (result != 0) return result;

  char text[kTextFieldSize] = {};
  int count = reply[1] - 1;
  if (count < 0) count = 0;
  if (count > kTextFieldSize) count = kTextFieldSize;
  std::memcpy(text, reply + 3, static_cast<size_t>(count));
  std::memcpy(out, text, kTextFieldSize);
  return count;
}

}  // namespace tmode
