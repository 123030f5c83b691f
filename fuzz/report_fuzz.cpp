// Reports from the wire: the input is a sequence of reads, each a length
// byte and that many bytes (at most 64). Every report extracted is
// classified against a handler table in use, and offered to the text
// reassembly.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "library/library_state.h"
#include "link/report_extract.h"
#include "link/report_handlers.h"
#include "link/report_utils.h"

namespace {

void note_report(int, int size, const uint8_t* report) {
  volatile uint8_t sink = 0;
  for (int i = 0; i < size; ++i) sink = static_cast<uint8_t>(sink + report[i]);
}

int pipe_fds[2] = {-1, -1};

void set_up_once() {
  if (pipe_fds[0] >= 0) return;
  if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) __builtin_trap();
  tmode::library.link.reader_running = 1;
  tmode::register_report_handler('J', 0xFFFF, note_report);
  tmode::register_report_handler('?', 'h', note_report);
  tmode::register_report_handler('6', 0x13, nullptr);
  tmode::register_report_handler('?', 'S', nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  set_up_once();
  tmode::ReportStaging staging{};
  // Odd-sized inputs read as a byte stream, which carries cut reports over.
  staging.byte_stream = size % 2 == 1;
  int position = 0, total = 0, state = 0;
  size_t at = 0;
  while (at < size) {
    size_t chunk = data[at++] % 65;
    if (chunk > size - at) chunk = size - at;
    if (chunk > 0 && ::write(pipe_fds[1], data + at, chunk) != static_cast<ssize_t>(chunk)) __builtin_trap();
    at += chunk;
    for (;;) {
      uint8_t report[tmode::kReportBufferSize];
      const int n = tmode::extract_report(staging, pipe_fds[0], false, report, tmode::kReportSize);
      if (n > tmode::kReportSize) __builtin_trap();
      if (n >= 3) {
        tmode::classify_report(report[1], report[2], report[3], n, report);
        tmode::reassemble_text_reply(report, &position, &total, n, &state);
      }
      if (!tmode::staging_has_bytes(staging)) break;
    }
  }
  uint8_t drain[64];
  while (::read(pipe_fds[0], drain, sizeof drain) > 0) {
  }
  return 0;
}
