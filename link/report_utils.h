// Small report helpers offered to applications beside the link itself.
#pragma once

#include <cstdint>

namespace tmode {

// seed (low 16 bits) plus each byte, modulo 65536.
uint16_t checksum16(uint32_t seed, const uint8_t* bytes, int count);

// In a 64-byte buffer holding a packet whose byte 1 is its own length n,
// moves the first n + 2 bytes two places on and puts 0x03, n + 2 in front.
// Returns the framed size n + 4, or -1 (buffer unchanged) when n > 60.
int wrap_report(uint8_t* buffer);

// Reads up to 64 bytes from fd and appends them to the link's 1024-byte
// accumulation buffer (what does not fit is dropped), drops leading bytes
// that are not 0x03 and returns the number of complete reports held.
int count_buffered_reports(int fd);

// Joins a text reply ('D', 'E', 'F') that arrives in short pieces into
// rx_report; meant for links opened without the reader thread, which owns
// rx_report otherwise. Returns the total once the text is complete, the
// size of a report that is not a piece (copied whole), 0 while pieces are
// still due, -1 for a report that breaks the sequence or does not fit.
int reassemble_text_reply(const uint8_t* report, int* position, int* total, int size, int* state);

}  // namespace tmode
