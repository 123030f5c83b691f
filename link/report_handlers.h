// Handlers for reports the controller sends on its own, and the rules that
// tell a reply from an event.
#pragma once

#include <cstdint>

#include "link/report_types.h"

namespace tmode {

// Kinds returned by classify_report.
inline constexpr int kReportReply = 0;
inline constexpr int kReportDropped = 1;
inline constexpr int kReportHandled = 2;

// 0 when registered; -1 when the reader thread is not running; -2 when all
// 32 entries are in use.
int register_report_handler(int class_key, int sub_key, ReportCallback callback);

// Clears the first entry with these keys (compared as signed 16-bit values).
// Returns only once no callback of that entry is running, so the caller may
// free the callback's state right after. 0, or -1 when no entry matches.
// A callback may unregister handlers itself; it must not wait for replies.
int unregister_report_handler(int class_key, int sub_key);

void clear_report_handlers();

int add_report_filter(int reserved1, int reserved2, int class_key, int sub_key);
int remove_report_filter(int reserved1, int reserved2, int class_key, int sub_key);

// Decides what a received report is, running a matching handler's callback
// on the calling (reader) thread: 0 reply, 1 dropped, 2 event or handled.
int classify_report(uint8_t length_byte, uint8_t class_byte, uint8_t sub_byte, int size,
                    const uint8_t* report);

}  // namespace tmode
