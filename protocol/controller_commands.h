// Plain controller commands sent through the generic exchange: the
// controller level, resets and readiness, state values and sensor size.
// Each is 0 on success; the three '?' commands pass a failing exchange's
// result on unchanged (-1 or 110), the others give -1 for any failure.
#pragma once

#include <cstdint>

#include "protocol/value_record.h"

namespace tmode {

// '?','X': the reply's payload behind class and sub (at most 60 bytes) into
// out, which holds 64. Result: the number of bytes copied.
int read_controller_level(int reserved1, int reserved2, uint8_t* out);

// '?','M', value low, high; the reply must echo both bytes.
int command_3f_4d(int reserved1, int reserved2, int value);

// '?','l', a, b; the reply must echo b in byte 5. 1 on success.
int command_3f_6c(int reserved1, int reserved2, int a, int b);

// 'g': the controller restarts.
int reset_controller(int reserved1, int reserved2);

// '9',0: record byte 0 = reply byte 3.
int read_state_byte(int reserved1, int reserved2, ValueRecord5* record);

// '9',1: answered with '9',2 once the controller is ready.
int check_controller_ready(int reserved1, int reserved2);

// '9',2: record bytes 0 and 1 = reply bytes 4 and 5.
int read_state_word(int reserved1, int reserved2, ValueRecord5* record);

// ':',0xFE and the fixed 3-byte code.
int command_3a_fe(int reserved1, int reserved2);

// ':',4, allowed 10 seconds per attempt.
int command_3a_04(int reserved1, int reserved2);

// '6',0x0F: record bytes 0 and 1 = the receive and transmit channel counts,
// which also become the library's rx_total and tx_total.
int read_sensor_size(int reserved1, int reserved2, ValueRecord5* record);

}  // namespace tmode
