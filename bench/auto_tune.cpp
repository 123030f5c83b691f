// The whole auto_tune_image against tmode-sim: wall time, exchanges, the
// waits the library imposes, and the bare round trip of the same pty
// measured in the same run, before and after the pipeline.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/pty_pingpong.h"
#include "bench/sim_process.h"
#include "library/library_state.h"
#include "link/discovery.h"
#include "link/link.h"
#include "paramfile/hardware_block_pack.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/auto_tune.h"
#include "tuning/tuner.h"

namespace {

// Round trips of a '?','e' report on a fresh descriptor of the pty.
bool bare_round_trips(const std::string& path, int count, std::vector<double>& out) {
  tmode::bench::PtyPingPong pty(path);
  if (!pty.ok()) return false;
  const std::vector<uint8_t> report = {0x03, 0x03, '?', 'e', 0x00};
  for (int i = 0; i < count + 50; ++i) {
    const double us = pty.round_trip(report);
    if (us < 0) return false;
    if (i >= 50) out.push_back(us);
  }
  return true;
}

// Runs the pipeline with standard output sent to /dev/null.
int quiet_auto_tune(tmode::Tuner& tuner) {
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ::dup2(null, STDOUT_FILENO);
  ::close(null);
  const int result = tmode::auto_tune_image(tuner);
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int frequencies = argc > 1 ? std::atoi(argv[1]) : 2;
  // One phase-data frame per all-delays scan, as the scan delivers it: at
  // the simulator's default of a frame every 5 ms, frames the library has
  // no use for keep streaming while it works.
  tmode::bench::SimProcess sim({"--frame-ms", "1000"});
  if (!sim.ok()) {
    std::fprintf(stderr, "cannot start tmode-sim\n");
    return 1;
  }
  const std::string& path = sim.path();
  std::vector<double> bare;
  if (!bare_round_trips(path, 1000, bare)) return 1;

  tmode::set_device_path(path.c_str(), static_cast<int>(path.size()));
  if (tmode::open_link(0, 0, 1) <= 0) return 1;
  tmode::library.model_code = 0;
  tmode::library.frame.extra_lines = 2;
  tmode::TunerPtr tuner = tmode::create_tuner();
  if (!tuner || tmode::load_hardware_block_from_controller(*tuner) != 1) return 1;
  tmode::test::describe_sim_panel(tuner->config.bytes);
  tmode::test::tune_for_sim_panel(tuner->params);
  tuner->params.nums_of_freq = static_cast<uint8_t>(frequencies);
  tuner->controller_level = 3;

  const tmode::LinkTraffic before = tmode::link_traffic();
  const auto start = std::chrono::steady_clock::now();
  const int result = quiet_auto_tune(*tuner);
  const double wall_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const tmode::LinkTraffic after = tmode::link_traffic();
  tmode::close_link(0, 0);
  if (!bare_round_trips(path, 1000, bare)) return 1;

  const double exchanges = static_cast<double>(after.reports_written - before.reports_written);
  const double waits_ms = static_cast<double>(after.slept_us - before.slept_us) / 1000.0;
  // The wall time is a sum of round trips, so it compares with their mean;
  // on a busy machine a few slow ones pull the mean far above the median,
  // and the ratio is given against both.
  double bare_sum = 0;
  for (double us : bare) bare_sum += us;
  const double mean_us = bare_sum / static_cast<double>(bare.size());
  const double median_us = tmode::bench::percentile(bare, 0.50);
  const double floor_mean_ms = waits_ms + exchanges * mean_us / 1000.0;
  const double floor_median_ms = waits_ms + exchanges * median_us / 1000.0;
  std::printf("%s\n", sim.placement());
  std::printf("auto_tune_image, simulated panel 16 TX x 28 RX, %d working frequencies: %s\n", frequencies,
              result == 1 ? "success" : "FAILED");
  std::printf("  wall time            %10.1f ms\n", wall_ms);
  std::printf("  exchanges            %10.0f reports written\n", exchanges);
  std::printf("  imposed waits        %10.1f ms\n", waits_ms);
  std::printf("  bare round trip      %10.1f us mean, %.1f us p50, %.1f us p99 (%zu samples)\n", mean_us, median_us,
              tmode::bench::percentile(bare, 0.99), bare.size());
  std::printf("  ratio (mean)         %10.2f  wall / (waits + exchanges x mean = %.1f ms)\n", wall_ms / floor_mean_ms,
              floor_mean_ms);
  std::printf("  ratio (p50)          %10.2f  wall / (waits + exchanges x p50 = %.1f ms)\n",
              wall_ms / floor_median_ms, floor_median_ms);
  return result == 1 ? 0 : 1;
}
