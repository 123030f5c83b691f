// Extracting framed reports from what a read of the link returns.
#pragma once

#include <cstdint>

#include "link/link_session.h"

namespace tmode {

// Takes the next report out of the staging buffer, reading the descriptor
// afresh (up to 64 bytes; recv on a socket) only when the buffer is used
// up. Writes the report and a terminating zero to out, which needs
// max_len + 1 bytes, and returns its size (length byte + 2), or 0 when no
// complete report came out of the read. A report whose size would exceed
// max_len is abandoned; a read not beginning with 0x03 is discarded whole;
// a report cut by the end of a read is lost. On a byte stream
// (staging.byte_stream: a terminal or a socket, which cut reads anywhere) a
// cut report is completed from the next read instead, and zero padding
// that leads a read is passed over.
int extract_report(ReportStaging& staging, int fd, bool is_socket, uint8_t* out, int max_len);

// The same over the link's own staging buffer.
int read_report(int fd, uint8_t* out, int max_len);

// True while the staging buffer holds bytes not yet parsed.
inline bool staging_has_bytes(const ReportStaging& staging) {
  return staging.index < staging.count;
}

}  // namespace tmode
