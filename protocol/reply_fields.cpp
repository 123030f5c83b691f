#include "protocol/reply_fields.h"

#include <cstring>

#include "link/link_session.h"

namespace tmode {

namespace {

constexpr int kPayloadOffset = 4;

int clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

}  // namespace

bool reply_matches(const uint8_t* reply, std::initializer_list<int> pattern) {
  int index = 0;
  for (const int expected : pattern) {
    if (index >= kReportSize) return false;
    if (expected != kAnyByte && reply[index] != expected) return false;
    ++index;
  }
  return true;
}

int copy_reply_payload(const uint8_t* reply, uint8_t* out) {
  const int count = clamp(reply[1] - 2, 0, kReportSize - kPayloadOffset);
  std::memcpy(out, reply + kPayloadOffset, static_cast<size_t>(count));
  return count;
}

int copy_whole_reply(const uint8_t* reply, uint8_t* out) {
  const int count = clamp(reply[1] + 2, 0, kReportSize);
  std::memcpy(out, reply, static_cast<size_t>(count));
  return count;
}

}  // namespace tmode
