// Replies from the wire: a 64-byte report whose length byte may claim
// anything. The payload and whole-report copies go into heap buffers of
// exactly the size they may use, so that any overrun is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "protocol/reply_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t reply[64] = {};
  std::memcpy(reply, data, size < sizeof reply ? size : sizeof reply);

  auto payload = std::make_unique<uint8_t[]>(60);
  const int copied = tmode::copy_reply_payload(reply, payload.get());
  if (copied < 0 || copied > 60 || (reply[1] >= 2 && reply[1] <= 62 && copied != reply[1] - 2)) {
    __builtin_trap();
  }

  auto whole = std::make_unique<uint8_t[]>(64);
  const int taken = tmode::copy_whole_reply(reply, whole.get());
  if (taken < 2 || taken > 64 || std::memcmp(whole.get(), reply, static_cast<size_t>(taken)) != 0) {
    __builtin_trap();
  }

  volatile bool matched = tmode::reply_matches(reply, {0x03, tmode::kAnyByte, '6', 0x15});
  (void)matched;
  return 0;
}
