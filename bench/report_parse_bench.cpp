// Microbenchmarks of the reader's per-report work: extraction from a read
// and classification.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "library/library_state.h"
#include "link/report_extract.h"
#include "link/report_handlers.h"

namespace {

void BM_ExtractTwoReportsFromOneRead(benchmark::State& state) {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK) != 0) return;
  const uint8_t read_bytes[] = {0x03, 0x04, '?', 'e', 0, 1, 0x03, 0x05, 'D', '1', '.', '0', '2'};
  tmode::ReportStaging staging{};
  uint8_t out[tmode::kReportBufferSize];
  for (auto _ : state) {
    (void)!::write(fds[1], read_bytes, sizeof read_bytes);
    benchmark::DoNotOptimize(tmode::extract_report(staging, fds[0], false, out, 64));
    benchmark::DoNotOptimize(tmode::extract_report(staging, fds[0], false, out, 64));
  }
  ::close(fds[0]);
  ::close(fds[1]);
}
BENCHMARK(BM_ExtractTwoReportsFromOneRead);

void BM_ClassifyReplyWithFullHandlerTable(benchmark::State& state) {
  tmode::library.link.reader_running = 1;
  for (int i = 0; i < tmode::kHandlerSlots; ++i) tmode::register_report_handler('J', i, nullptr);
  const uint8_t report[] = {0x03, 0x04, '?', 'e', 0, 1};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tmode::classify_report(report[1], report[2], report[3], 6, report));
  }
  tmode::clear_report_handlers();
  tmode::library.link.reader_running = 0;
}
BENCHMARK(BM_ClassifyReplyWithFullHandlerTable);

}  // namespace

BENCHMARK_MAIN();
