#include "link/report_utils.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "link/link_session.h"

namespace tmode {

namespace {

constexpr uint8_t kReportId = 0x03;

void reset_pieces(int* position, int* total, int* state) {
  *position = 0;
  *total = 0;
  *state = 0;
}

int copy_whole(const uint8_t* report, int size) {
  if (size < 0 || size > kReportSize) return -1;
  std::memcpy(link_session().rx_report, report, static_cast<size_t>(size));
  return size;
}

}  // namespace

uint16_t checksum16(uint32_t seed, const uint8_t* bytes, int count) {
  uint32_t sum = seed & 0xFFFF;
  for (int i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint16_t>(sum);
}

int wrap_report(uint8_t* buffer) {
  const int n = buffer[1];
  if (n > kReportSize - 4) return -1;
  std::memmove(buffer + 2, buffer, static_cast<size_t>(n + 2));
  buffer[0] = kReportId;
  buffer[1] = static_cast<uint8_t>(n + 2);
  return n + 4;
}

int count_buffered_reports(int fd) {
  LinkSession& link = link_session();
  uint8_t incoming[kReportSize];
  const ssize_t n = link.fd_is_socket ? ::recv(fd, incoming, sizeof incoming, 0)
                                      : ::read(fd, incoming, sizeof incoming);
  if (n > 0) {
    const int room = kAccumulationSize - link.accumulated;
    const int taken = static_cast<int>(n) < room ? static_cast<int>(n) : room;
    std::memcpy(link.accumulation + link.accumulated, incoming, static_cast<size_t>(taken));
    link.accumulated += taken;
  }

  int skip = 0;
  while (skip < link.accumulated && link.accumulation[skip] != kReportId) ++skip;
  if (skip > 0) {
    std::memmove(link.accumulation, link.accumulation + skip,
                 static_cast<size_t>(link.accumulated - skip));
    link.accumulated -= skip;
  }

  int reports = 0;
  int at = 0;
  while (at + 2 <= link.accumulated && at + 2 + link.accumulation[at + 1] <= link.accumulated) {
    at += 2 + link.accumulation[at + 1];
    ++reports;
  }
  return reports;
}

int reassemble_text_reply(const uint8_t* report, int* position, int* total, int size, int* state) {
  if (report[0] != kReportId) return -1;
  const uint8_t length = report[1];
  const uint8_t class_byte = report[2];
  uint8_t* text = link_session().rx_report;

  if (length >= 5 || (length == 4 && std::isalnum(report[3]))) return copy_whole(report, size);

  if (class_byte == 'D' || class_byte == 'E' || class_byte == 'F') {
    const int text_length = report[3];
    if (text_length + 3 > kReportSize) {
      reset_pieces(position, total, state);
      return -1;
    }
    *total = text_length + 3;
    text[0] = kReportId;
    text[1] = static_cast<uint8_t>(text_length + 1);
    text[2] = class_byte;
    text[3] = report[4];
    text[4] = report[5];
    *position = 5;
    *state = 1;
  } else if (class_byte == 0 && *state == 1 && *position < *total && length >= 2) {
    const int characters = length - 1;
    for (int i = 0; i < characters && *position < *total; ++i) text[(*position)++] = report[3 + i];
  } else if (class_byte != 0 && *position == 0) {
    return copy_whole(report, size);
  } else {
    reset_pieces(position, total, state);
    return -1;
  }

  if (*position < *total) return 0;
  const int complete = *total;
  reset_pieces(position, total, state);
  return complete;
}

}  // namespace tmode
