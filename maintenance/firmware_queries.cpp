#include "maintenance/firmware_queries.h"

#include <cstring>

#include "link/link.h"
#include "link/link_session.h"
#include "protocol/exchange.h"

namespace tmode {

int query_firmware_word(int kind) {
  if (!link_is_open()) return -1;
  const uint8_t packet[] = {'6', 'U'};
  uint8_t reply[kReportSize];
  if (exchange_command(packet, sizeof packet, '6', 'U', reply, 3, 0) != 0) return -1;
  if (reply[0] != kReportId || reply[1] != 0x11 || reply[18] == 0xFF) return -1;
  const int high = kind == 5 ? 10 : 16;
  return reply[high] << 8 | reply[high + 1];
}

int read_controller_value32(uint8_t (&out)[kControllerValueBufferSize]) {
  const uint8_t report[] = {kReportId, 0x02, '9', 0x03};
  auto accept = [](const uint8_t* r) {
    return r[0] == kReportId && r[1] == 0x06 && r[2] == '9' && r[3] == 0x05;
  };
  uint8_t reply[kReportSize];
  const int result = run_direct_command(report, sizeof report, DirectTiming{100, 3}, accept, reply);
  if (result != 0) return result;
  std::memcpy(out, reply + 4, 4);
  out[4] = 0;
  return 4;
}

}  // namespace tmode
