// Commands the controller does not answer: one write each, no pause, no
// reply awaited. 0 when the whole report was written, else -1.
#pragma once

namespace tmode {

// v = 1: [0x03, 0x04, '6', '?', 0x01, 0x05]; v = 2: [0x03, 0x03, '6', '?',
// 0x02]; any other v: -1, nothing written.
int command_36_3f(int reserved1, int reserved2, int v);

// [0x03, 0x02, ':', 0xFF].
int command_3a_ff(int reserved1, int reserved2);

// [0x05, 0x02, 0x00] (report id 5), written whether or not the link is open.
int send_report_id5();

}  // namespace tmode
