// Reading a reply's header and fields without trusting its length byte.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace tmode {

inline constexpr int kAnyByte = -1;

// True when the first bytes of a 64-byte reply equal the pattern; an entry
// of kAnyByte accepts any byte in its place.
bool reply_matches(const uint8_t* reply, std::initializer_list<int> pattern);

// The payload behind the class and sub byte: reply bytes 4 to L'+1, L' - 2
// bytes as the length byte L' claims, but never beyond the 64-byte report
// (at most 60 bytes) and never below 0. Returns the count copied to out.
int copy_reply_payload(const uint8_t* reply, uint8_t* out);

// The framed report itself: its length byte + 2 bytes from byte 0 on, at
// most the 64 bytes of the report. Returns the count copied.
int copy_whole_reply(const uint8_t* reply, uint8_t* out);

}  // namespace tmode
