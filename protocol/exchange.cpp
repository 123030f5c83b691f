#include "protocol/exchange.h"

#include <cstring>

#include "link/link_session.h"
#include "link/link.h"
#include "link/reply_wait.h"

namespace tmode {

namespace {

constexpr int kRetryPauseMs = 100;

// Zeroes tx_report and reply_report and frames the packet into tx_report.
int frame_packet(const uint8_t* packet, int length) {
  uint8_t* tx = link_session().tx_report;
  std::memset(tx, 0, kReportSize);
  clear_reply_report();
  tx[0] = kReportId;
  tx[1] = static_cast<uint8_t>(length);
  std::memcpy(tx + 2, packet, static_cast<size_t>(length));
  return length + 2;
}

bool packet_length_valid(int length) { return length >= 0 && length <= kMaxPacketLength; }

}  // namespace

int exchange_built_report(int size, ReplyCheck accept, uint8_t* reply, int s, int ms) {
  ReplyExpectation expecting;  // before the first write: no reply can slip past
  uint8_t received[kReportSize];
  int result = -1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) sleep_ms(kRetryPauseMs);
    if (!link_is_open()) return -1;  // the link died under the command
    // One deadline per attempt: replies passed over never move it.
    const WaitDeadline deadline = reply_deadline(monotonic_now(), s, ms);
    if (link_write_until(size, deadline) < size) {
      result = -1;
      continue;
    }
    for (;;) {
      const int taken = take_reply_until(deadline, received);
      if (taken == kReplyLinkEnded) return -1;
      if (taken != 0) {
        result = kReplyTimedOut;
        break;
      }
      if (accept(received)) {
        if (reply != nullptr) std::memcpy(reply, received, kReportSize);
        return 0;
      }
      if (deadline_passed(deadline)) {
        result = -1;
        break;
      }
    }
  }
  return result;
}

int exchange_command(const uint8_t* packet, int length, uint8_t reply_class, int reply_sub,
                     uint8_t* reply, int s, int ms) {
  if (!link_is_open() || !packet_length_valid(length)) return -1;
  const int size = frame_packet(packet, length);
  auto matches = [&](const uint8_t* r) {
    return r[2] == reply_class && (reply_sub == kAnySub || r[3] == reply_sub);
  };
  return exchange_built_report(size, matches, reply, s, ms);
}

int send_command(const uint8_t* packet, int length) {
  if (!link_is_open() || !packet_length_valid(length)) return -1;
  const int size = frame_packet(packet, length);
  sleep_ms(kRetryPauseMs);
  bool complete = false;
  for (int attempt = 0; attempt < kAttempts && !complete; ++attempt) {
    complete = link_write(size) == size;
  }
  return complete ? 0 : -1;
}

int run_direct_command(const uint8_t* report, int size, DirectTiming timing, ReplyCheck accept,
                       uint8_t* reply) {
  if (!link_is_open() || size < 0 || size > kReportSize) return -1;
  uint8_t* tx = link_session().tx_report;
  std::memset(tx, 0, kReportSize);
  clear_reply_report();
  std::memcpy(tx, report, static_cast<size_t>(size));

  sleep_ms(timing.pause_ms);
  // Expected from here, right before the first write: what came in during
  // the pause answers nothing of this command.
  ReplyExpectation expecting;
  uint8_t received[kReportSize];
  int result = -1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!link_is_open()) return -1;
    const WaitDeadline deadline = reply_deadline(monotonic_now(), timing.wait_s, 0);
    if (link_write_until(size, deadline) < size) {
      result = -1;
      continue;
    }
    const int taken = take_reply_until(deadline, received);
    if (taken == kReplyLinkEnded) return -1;
    if (taken != 0) {
      result = kReplyTimedOut;
      continue;
    }
    if (accept(received)) {
      if (reply != nullptr) std::memcpy(reply, received, kReportSize);
      return 0;
    }
    result = -1;
  }
  return result;
}

}  // namespace tmode
