// Small '?' commands that tuning, tests and tables use to start scans and
// tests, switch report streams and read single status values. Each runs one
// exchange (3 seconds per attempt) unless stated otherwise; when the
// exchange fails, its result (-1 or 110) is returned and nothing is written
// to the output.
#pragma once

#include <cstdint>

namespace tmode {

// '?','S', mode (3 is sent as 2), sent without waiting for a reply. 0 or -1.
int send_test_mode(int mode);

// '?','D', a, b: 0 when the reply carries a, b, 1 in bytes 4 to 6, else -1.
int start_chip_scan(int a, int b);

// '?','O', a: out = reply byte 4; 1.
int command_3f_4f(int a, uint8_t* out);

// '?','P': out = reply byte 4; 1.
int command_3f_50(uint8_t* out);

// '?','[', a: 0 when the reply echoes a in byte 4, else -1.
int command_3f_5b(int a);

// '?','T': out = the current frequency index (reply byte 4); 1.
int read_freq_index(uint8_t* out);

// '?','N': out[0..1] = reply bytes 4 and 5; when the reply's length byte is
// above 4, out[2..3] = reply bytes 6 and 7, the status code (little-endian).
// out holds 4 bytes. 1.
int read_status_code(uint8_t* out);

// '?','j', a, b: 0.
int command_3f_6a(int a, int b);

// '?','R', a: out = reply byte 4; 1.
int command_3f_52(int a, uint8_t* out);

// '?','i', a: 0 when the reply echoes a in byte 4, else -1.
int set_touch_info(int a);

// '?','n': 1.
int command_3f_6e();

// '?','k', a: the whole reply report (its length byte + 2 bytes, at most
// 64) into out, which holds 64. 1.
int command_3f_6b(int a, uint8_t* out);

// '6','O', a through the exchange (class '6', sub 'O'): 0 when the reply
// echoes a in byte 4, else -1.
int command_36_4f_echoed(int a);

}  // namespace tmode
