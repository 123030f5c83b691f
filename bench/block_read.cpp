// Reading the 2048-byte hardware block (38 chunks of at most 54 bytes)
// through the library, against 38 bare write/select/read round trips of the
// same chunk requests on the same simulated controller's pty, in one run.
// Rounds of each alternate, so that a slow spell of the machine hits both.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/pty_pingpong.h"
#include "bench/sim_process.h"
#include "link/discovery.h"
#include "link/link.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_images.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros_since(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The chunk requests read_parameter_block writes for the whole block.
std::vector<std::vector<uint8_t>> chunk_requests() {
  std::vector<std::vector<uint8_t>> requests;
  for (int position = 0; position < tmode::kHardwareBlockSize; position += tmode::kParameterChunk) {
    const int left = tmode::kHardwareBlockSize - position;
    const int chunk = left < tmode::kParameterChunk ? left : tmode::kParameterChunk;
    requests.push_back({0x03, 0x06, '?', 'J', tmode::kHardwareBlock, static_cast<uint8_t>(position & 0xFF),
                        static_cast<uint8_t>(position >> 8), static_cast<uint8_t>(chunk)});
  }
  return requests;
}

}  // namespace

int main(int argc, char** argv) {
  const int per_round = argc > 1 ? std::atoi(argv[1]) : 20;
  constexpr int kRounds = 15;
  constexpr int kWarmUp = 3;

  tmode::bench::SimProcess sim;
  if (!sim.ok()) {
    std::fprintf(stderr, "cannot start tmode-sim\n");
    return 1;
  }
  const std::string& path = sim.path();
  const auto requests = chunk_requests();
  std::vector<double> library, bare;
  std::vector<uint8_t> block(tmode::kHardwareBlockSize);

  for (int round = 0; round < kRounds; ++round) {
    {
      tmode::bench::PtyPingPong pty(path);
      if (!pty.ok()) return 1;
      for (int i = 0; i < per_round + kWarmUp; ++i) {
        const auto start = Clock::now();
        for (const auto& request : requests) {
          if (pty.round_trip(request) < 0) return 1;
        }
        if (i >= kWarmUp) bare.push_back(micros_since(start));
      }
    }
    tmode::set_device_path(path.c_str(), static_cast<int>(path.size()));
    if (tmode::open_link(0, 0, 1) <= 0) return 1;
    for (int i = 0; i < per_round + kWarmUp; ++i) {
      const auto start = Clock::now();
      if (tmode::read_parameter_block(tmode::kHardwareBlock, 0, tmode::kHardwareBlockSize, block.data()) !=
          tmode::kHardwareBlockSize) {
        return 1;
      }
      if (i >= kWarmUp) library.push_back(micros_since(start));
    }
    tmode::close_link(0, 0);
  }
  std::printf("%zu chunk requests per block; %s\n", requests.size(), sim.placement());
  tmode::bench::print_comparison("hardware block read (2048 bytes) over a pty", library, bare);
  return 0;
}
