#include "link/report_extract.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "link/link_session.h"

namespace tmode {

namespace {

constexpr uint8_t kReportId = 0x03;

bool is_fixed_size_marker(uint8_t length_byte) { return length_byte == 0x82 || length_byte == 0x83; }

// Reads afresh into the staging buffer; false when the read gave nothing.
bool refill(ReportStaging& staging, int fd, bool is_socket) {
  staging.index = 0;
  staging.count = 0;
  staging.stream_ended = false;
  ssize_t n;
  do {
    n = is_socket ? ::recv(fd, staging.bytes, sizeof staging.bytes, 0)
                  : ::read(fd, staging.bytes, sizeof staging.bytes);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    // End of stream, a removed device or a dead socket; a non-blocking node
    // with nothing queued is not an end.
    staging.stream_ended = (n == 0) || (errno != EAGAIN && errno != EWOULDBLOCK);
    return false;
  }
  staging.count = static_cast<uint8_t>(n);
  return true;
}

}  // namespace

int extract_report(ReportStaging& staging, int fd, bool is_socket, uint8_t* out, int max_len) {
  if (!staging_has_bytes(staging) && !refill(staging, fd, is_socket)) return 0;

  if (staging.bytes[0] != kReportId) {
    staging.index = staging.count;  // the whole read is discarded
    return 0;
  }

  enum class Expect { ReportId, Length, Payload } expect = Expect::ReportId;
  int size = 0;    // bytes of the report so far
  int wanted = 0;  // its full size
  while (staging.index < staging.count) {
    const uint8_t byte = staging.bytes[staging.index++];
    switch (expect) {
      case Expect::ReportId:
        if (byte == kReportId) {
          out[0] = byte;
          size = 1;
          expect = Expect::Length;
        }
        break;
      case Expect::Length:
        wanted = is_fixed_size_marker(byte) ? 6 : byte + 2;
        if (wanted > max_len) {
          expect = Expect::ReportId;  // abandoned; look for the next report id
          break;
        }
        out[1] = byte;
        size = 2;
        expect = Expect::Payload;
        break;
      case Expect::Payload:
        out[size++] = byte;
        break;
    }
    if (expect == Expect::Payload && size == wanted) {
      out[size] = 0;
      return size;
    }
  }
  return 0;  // cut by the end of the read
}

int read_report(int fd, uint8_t* out, int max_len) {
  LinkSession& link = link_session();
  return extract_report(link.staging, fd, link.fd_is_socket, out, max_len);
}

}  // namespace tmode
