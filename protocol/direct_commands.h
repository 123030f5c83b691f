// Plain controller commands sent by the direct pattern: each writes its own
// framed report, and the first reply within the wait decides an attempt.
// 0 on success, unless stated otherwise; a failure is -1 (a short write or
// a wrong reply) or 110 (the last attempt timed out).
#pragma once

#include <cstdint>

#include "protocol/value_record.h"

namespace tmode {

// [0x03, 0x01, 'A'].
int command_41(int reserved1, int reserved2);

// [0x03, 0x02, '6', '='], then after 100 ms reset_controller: its result.
int command_36_3d(int reserved1, int reserved2);

// [0x03, 0x02, '6', 0x13 when flag is non-zero, else 0x12]; a reply with
// either sub byte is accepted.
int command_36_12_13(int reserved1, int reserved2, int flag);

// [0x03, 0x03, '6', '>', v].
int command_36_3e(int reserved1, int reserved2, int v);

// Four (or two) 16-bit values, each sent high byte first.
int command_36_15(int reserved1, int reserved2, int a, int b, int c, int d);  // sent as c, d, a, b
int command_36_16(int reserved1, int reserved2, int a, int b, int c, int d);
int command_36_17(int reserved1, int reserved2, int a, int b);

// [0x03, 0x03, '6', s, 0] and [0x03, 0x03, '6', s, 1]; the reply echoes all five.
int command_36_clear(int reserved1, int reserved2, int sub);
int command_36_set(int reserved1, int reserved2, int sub);

// [0x03, 0x03, '6', 'I', flag (0 or 1)] with a 5-second wait, then after
// 100 ms reset_controller: its result.
int command_36_49(int reserved1, int reserved2, int flag);

// [0x03, 0x03, '6', 'O', v]: the controller's answer byte, 0 to 255, or -1
// for any failure (a timeout included, whose 110 would pass for a value).
int command_36_4f(int reserved1, int reserved2, int v);

// [0x03, 0x02, '6', 0x14]: the reply's payload behind class and sub (at
// most 60 bytes) into out, which holds 64.
int query_features(int reserved1, int reserved2, uint8_t* out);

// [0x03, 0x02, '5', v]: record bytes 0 and 1 = reply bytes 4 and 5.
int command_35(int reserved1, int reserved2, int v, ValueRecord5* record);

// [0x03, 0x02, '4', v] and [0x03, 0x03, '4', 0x0A, v]; answered with class '3'.
int command_34(int reserved1, int reserved2, int v);
int command_34_0a(int reserved1, int reserved2, int v);

}  // namespace tmode
