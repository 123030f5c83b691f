#include "link/report_extract.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

  enum class Expect { ReportId, Length, Payload } expect = Expect::ReportId;
  int size = 0;    // bytes of the report so far
  int wanted = 0;  // its full size
  if (staging.cut_size > 0 && staging.index == 0) {
    // A fresh read on a byte stream goes on with the report the last one cut.
    size = staging.cut_size;
    wanted = staging.cut_wanted;
    std::memcpy(out, staging.cut, static_cast<size_t>(size));
    expect = size == 1 ? Expect::Length : Expect::Payload;
    staging.cut_size = 0;
  } else if (staging.index == 0 && staging.bytes[0] != kReportId) {
    // On a byte stream the read may begin with the zero padding of the
    // report before; parsing goes on behind it.
    if (staging.byte_stream) {
      while (staging.index < staging.count && staging.bytes[staging.index] == 0) ++staging.index;
    }
    if (staging.index == staging.count || staging.bytes[staging.index] != kReportId) {
      staging.index = staging.count;  // the whole read is discarded
      return 0;
    }
  }
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
  // Cut by the end of the read: lost, unless a byte stream goes on with it.
  const bool cut = expect == Expect::Length || (expect == Expect::Payload && wanted <= kReportSize);
  if (staging.byte_stream && cut) {
    std::memcpy(staging.cut, out, static_cast<size_t>(size));
    staging.cut_size = static_cast<uint8_t>(size);
    staging.cut_wanted = static_cast<uint8_t>(expect == Expect::Payload ? wanted : 0);
  }
  return 0;
}

int read_report(int fd, uint8_t* out, int max_len) {
  LinkSession& link = link_session();
  return extract_report(link.staging, fd, link.fd_is_socket, out, max_len);
}

}  // namespace tmode
