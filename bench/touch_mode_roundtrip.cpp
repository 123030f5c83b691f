// The round trip of get_touch_mode through the library against a bare
// write/select/read of the same bytes, on one simulated controller's pty in
// one run, so that the ratio holds on a noisy machine. Rounds of each
// alternate, so that a slow spell of the machine hits both sides.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/pty_pingpong.h"
#include "link/discovery.h"
#include "link/link.h"
#include "protocol/touch_mode.h"
#include "bench/sim_process.h"

int main(int argc, char** argv) {
  const int per_round = argc > 1 ? std::atoi(argv[1]) : 500;
  constexpr int kRounds = 20;

  tmode::bench::SimProcess sim;
  if (!sim.ok()) {
    std::fprintf(stderr, "cannot start tmode-sim\n");
    return 1;
  }
  const std::string& path = sim.path();
  const std::vector<uint8_t> report = {0x03, 0x03, '?', 'e', 0x00};
  std::vector<double> library, bare;

  for (int round = 0; round < kRounds; ++round) {
    {
      tmode::bench::PtyPingPong pty(path);
      if (!pty.ok()) return 1;
      for (int i = 0; i < per_round + 50; ++i) {
        const double us = pty.round_trip(report);
        if (us < 0) return 1;
        if (i >= 50) bare.push_back(us);
      }
    }
    tmode::set_device_path(path.c_str(), static_cast<int>(path.size()));
    if (tmode::open_link(0, 0, 1) <= 0) return 1;
    uint8_t mode[64];
    for (int i = 0; i < per_round + 50; ++i) {
      const auto start = std::chrono::steady_clock::now();
      if (tmode::get_touch_mode(0, 0, mode) != 1) return 1;
      const double us =
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      if (i >= 50) library.push_back(us);
    }
    tmode::close_link(0, 0);
  }
  std::printf("%s\n", sim.placement());
  tmode::bench::print_comparison("get_touch_mode round trip over a pty", library, bare);
  return 0;
}
