// tmode-sim's command-line texts for numbers and faults.
#pragma once

#include "sim/faults.h"

namespace tmode::sim {

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

// The first `count` commands are answered; every later one is lost (the
// caller then takes the node away).
Fault lost_after(int count);

}  // namespace tmode::sim
