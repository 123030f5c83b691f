// The transfer of a full main area (7168 records) with send_firmware against
// 7168 bare write/select/read round trips of the same record commands, on
// one simulated controller's pty in one run. Rounds of each alternate, so
// that a slow spell of the machine hits both sides. The progress the library
// prints goes to /dev/null while it runs. A third side, 7168 plain
// exchange_command calls with the same packets, tells the cost of the
// link's reply hand-over from what the transfer adds to it.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/pty_pingpong.h"
#include "bench/sim_process.h"
#include "link/discovery.h"
#include "link/link.h"
#include "maintenance/firmware_file.h"
#include "link/link_session.h"
#include "protocol/exchange.h"
#include "tests/support/firmware_files.h"

namespace {

using Clock = std::chrono::steady_clock;

double elapsed_us(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Runs send_firmware with standard output on /dev/null; the microseconds it
// took, or -1.
double library_transfer() {
  std::fflush(stdout);
  const int saved = ::dup(1);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ::dup2(null, 1);
  const auto start = Clock::now();
  const int result = tmode::send_firmware();
  const double us = elapsed_us(start);
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  ::close(null);
  return result == 0 ? us : -1;
}

// The same record commands through exchange_command alone; microseconds, or -1.
double exchange_only(const std::vector<std::vector<uint8_t>>& commands) {
  uint8_t reply[tmode::kReportSize];
  const auto start = Clock::now();
  for (const auto& command : commands) {
    const int length = static_cast<int>(command.size()) - 2;
    if (tmode::exchange_command(command.data() + 2, length, ':', 0x01, reply, 3, 0) != 0) return -1;
  }
  return elapsed_us(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 11;
  constexpr int kRecords = tmode::kMainRecordCapacity;

  tmode::test::RecordFilePlan plan;
  plan.main = tmode::test::numbered_records(kRecords);
  tmode::test::TempFiles files;
  const std::string file = files.write("firmware.bin", tmode::test::build_record_file(plan));
  if (tmode::load_firmware_file(file.c_str()) != 0) {
    std::fprintf(stderr, "cannot load %s\n", file.c_str());
    return 1;
  }
  std::vector<std::vector<uint8_t>> commands;
  for (const auto& record : plan.main) commands.push_back(tmode::test::record_command(record));

  tmode::bench::SimProcess sim;
  if (!sim.ok()) {
    std::fprintf(stderr, "cannot start tmode-sim\n");
    return 1;
  }
  const std::string& path = sim.path();
  std::vector<double> library_total, bare_total, exchange_total;  // milliseconds per transfer

  for (int round = 0; round < rounds; ++round) {
    {
      tmode::bench::PtyPingPong pty(path);
      if (!pty.ok()) return 1;
      const auto start = Clock::now();
      for (const auto& command : commands) {
        if (pty.round_trip(command) < 0) return 1;
      }
      const double us = elapsed_us(start);
      bare_total.push_back(us / 1000);
    }
    tmode::set_device_path(path.c_str(), static_cast<int>(path.size()));
    if (tmode::open_link(0, 0, 1) <= 0) return 1;
    const double us = library_transfer();
    const double exchange_us = exchange_only(commands);
    tmode::close_link(0, 0);
    if (us < 0 || exchange_us < 0) {
      std::fprintf(stderr, "the transfer failed\n");
      return 1;
    }
    library_total.push_back(us / 1000);
    exchange_total.push_back(exchange_us / 1000);
  }
  std::printf("%s\n", sim.placement());
  // Per transfer: the median, and the fastest, which shows the cost of each
  // side best when other work on the machine slows some transfers down.
  using tmode::bench::percentile;
  std::printf("transfer of %d records (%d transfers each, milliseconds)\n", kRecords, rounds);
  std::printf("  %-10s %10s %10s\n", "", "median", "fastest");
  std::printf("  %-10s %10.1f %10.1f\n", "library", percentile(library_total, 0.5), percentile(library_total, 0));
  std::printf("  %-10s %10.1f %10.1f\n", "bare", percentile(bare_total, 0.5), percentile(bare_total, 0));
  std::printf("  %-10s %10.2f %10.2f\n", "ratio", percentile(library_total, 0.5) / percentile(bare_total, 0.5),
              percentile(library_total, 0) / percentile(bare_total, 0));
  std::printf("  %-10s %10.1f %10.1f   (exchange_command alone, same packets)\n", "exchange",
              percentile(exchange_total, 0.5), percentile(exchange_total, 0));
  return 0;
}
