// Commands written as a full 64-byte report (the packet padded with zero
// bytes), for controllers whose interface takes only whole reports. The
// attempts are the exchange's; a reply is accepted when bytes 2, 3 and 4
// are the class, the sub byte and 1. 0, or the last attempt's failure (-1
// or 110).
#pragma once

namespace tmode {

int command_41_00(int reserved1, int reserved2);  // 'A', 0x00; 3 s per attempt
int command_41_ff(int reserved1, int reserved2);  // 'A', 0xFF; 3 s per attempt
int command_3a_e0(int reserved1, int reserved2);  // ':', 0xE0; 15 s per attempt
int command_3a_10(int reserved1, int reserved2);  // ':', 0x10; 3 s per attempt

}  // namespace tmode
