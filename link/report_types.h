// The report sizes and the handler callback type applications see.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kReportSize = 64;       // one framed report
inline constexpr int kMaxPacketLength = 62;  // payload that fits one report
inline constexpr int kHandlerSlots = 32;

// Called on the reader thread with (0, report size, report bytes).
using ReportCallback = void (*)(int reserved, int size, const uint8_t* report);

}  // namespace tmode
