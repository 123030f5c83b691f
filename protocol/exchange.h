// Sending commands and awaiting their replies: the generic exchange, the
// direct pattern and the send-only command.
#pragma once

#include <cstdint>

#include "protocol/function_ref.h"

namespace tmode {

inline constexpr uint8_t kReportId = 0x03;
inline constexpr int kAnySub = 255;
inline constexpr int kAttempts = 3;

// Decides whether a 64-byte reply answers the command.
using ReplyCheck = FunctionRef<bool(const uint8_t* reply)>;

// Frames the packet (at most 62 bytes) and makes up to three attempts, 100
// ms apart, each allowed s seconds and ms milliseconds. Replies whose byte 2
// is not reply_class, or byte 3 not reply_sub (255: any), are passed over
// within the attempt. 0 with the reply's 64 bytes in `reply`; -1 for a link
// not open, a bad length, a short write or a last attempt ending on a wrong
// reply; 110 when the last attempt timed out.
int exchange_command(const uint8_t* packet, int length, uint8_t reply_class, int reply_sub,
                     uint8_t* reply, int s, int ms);

// The exchange's attempt loop over the first `size` bytes already built in
// tx_report, with any acceptance test. reply_report must have been cleared.
int exchange_built_report(int size, ReplyCheck accept, uint8_t* reply, int s, int ms);

// Frames and writes the packet without waiting: a 100 ms pause, then up to
// three writes until one is complete. 0, or -1.
int send_command(const uint8_t* packet, int length);

struct DirectTiming {
  int pause_ms = 100;  // once, before the first attempt
  int wait_s = 3;      // per attempt
};

// The direct pattern: writes the framed report (at most 64 bytes) up to three
// times; the first reply within each wait decides the attempt. 0 with the
// reply in `reply` (may be null); -1 for a link not open, a short write or a
// wrong reply on the last attempt; 110 when the last attempt timed out.
int run_direct_command(const uint8_t* report, int size, DirectTiming timing, ReplyCheck accept,
                       uint8_t* reply);

}  // namespace tmode
