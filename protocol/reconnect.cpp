#include "protocol/reconnect.h"

#include "link/link.h"
#include "link/reply_wait.h"
#include "protocol/controller_commands.h"

namespace tmode {

namespace {

constexpr int kReconnectAttempts = 3;
constexpr int kRestartWaitMs = 6000;
constexpr int kSettleMs = 150;

}  // namespace

int reconnect_link(int, int) {
  // A controller that restarted took its node away: the link is dead but
  // still held, and that is what this reopens.
  if (!link_descriptor_held()) return -1;
  int result = -1;
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    close_link(0, 0);
    sleep_ms(kRestartWaitMs);
    const int opened = open_link(0, 0, 1);
    if (opened <= 0) {
      result = opened;
      continue;
    }
    sleep_ms(kSettleMs);
    result = check_controller_ready(0, 0);
    if (result == 0) return 0;
  }
  return result;
}

}  // namespace tmode
