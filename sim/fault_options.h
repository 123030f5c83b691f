// tmode-sim's command-line texts for numbers and faults.
#pragma once

#include "sim/faults.h"

namespace tmode::sim {

// The report the command-line faults send unasked: '?','Q' 0, 2.
inline Bytes unasked_report() { return Bytes{0x03, 0x04, '?', 'Q', 0, 2}; }

// A whole decimal number within [low, high]; false for anything else
// (empty, signs or letters around it, out of range).
bool parse_number(const char* text, long low, long high, int& out);

// "CMD[,N]": the commands whose packet begins with CMD (one or two bytes in
// hex as the trace shows them after the report id and length, e.g. 3F or
// 3F65; "any" for every command) go unanswered, the first N of them or, without
// N, every one.
bool parse_no_reply(const char* text, Fault& out);

// "CMD,MS[,N]": the replies to those commands go out MS milliseconds late.
bool parse_late_reply(const char* text, Fault& out);

// "CMD": each reply to those commands carries the report '?','Q' 0, 2 right
// behind it, in the same write.
bool parse_report_after(const char* text, Fault& out);

// "RATE[,MS]": RATE such reports a second for MS milliseconds (default
// 10000), nobody having asked for them.
bool parse_flood(const char* text, int& per_second, int& duration_ms);

// The first `count` commands are answered; every later one is lost (the
// caller then takes the node away).
Fault lost_after(int count);

}  // namespace tmode::sim
