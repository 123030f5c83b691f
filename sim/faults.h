// Faults the simulated controller injects on demand.
#pragma once

#include <functional>
#include <vector>

#include "sim/command_table.h"

namespace tmode::sim {

struct TimedReport {
  int delay_ms;  // after the command arrived
  Bytes report;  // framed
};

// Applies to the first `times` commands whose class (and sub) byte match.
struct Fault {
  int class_byte = -1;  // -1: any command
  int sub_byte = -1;    // -1: any sub byte
  int times = 1;        // -1: every matching command
  // Narrows the match further, e.g. to one chunk position; empty matches all.
  std::function<bool(const Bytes& packet)> when;

  bool drop = false;   // the command is lost: not carried out, not answered
                       // (the extra reports below still go out)
  int delay_ms = 0;    // the replies go out this late
  std::function<void(Bytes& reply)> rewrite;  // alters each reply
  std::vector<TimedReport> extra;             // further reports, each at its own delay
  Bytes same_write_before;  // a report written before the reply in the same write
  Bytes same_write_after;   // a report written right behind the reply in the same write
  int split_at = 0;         // above 0: the reply goes out in two writes, cut here
  int split_gap_ms = 20;
};

// Shorthands for the common faults.
// Each reply to the matching commands carries `report` right behind it, in
// the same write.
Fault report_after_reply(int class_byte, int sub_byte, Bytes report, int times = -1);
Fault no_reply(int class_byte, int sub_byte, int times = 1);
Fault late_reply(int class_byte, int sub_byte, int delay_ms, int times = 1);
// Replaces byte `index` of each reply with `value`.
Fault wrong_byte(int class_byte, int sub_byte, int index, uint8_t value, int times = 1);
// The same for the packets that begin with these bytes (class byte first),
// e.g. one word index or one chunk position.
Fault no_reply_to(Bytes packet_prefix, int times = 1);
Fault wrong_byte_to(Bytes packet_prefix, int index, uint8_t value, int times = 1);
// Inverts byte `index` of the replies to the first `times` packets that begin
// with `packet_prefix` (one firmware record, say, by its class, sub byte and
// location).
Fault garbled_byte(Bytes packet_prefix, int index, int times = 1);

}  // namespace tmode::sim
