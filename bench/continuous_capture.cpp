// Continuous capture from a simulated controller that streams raw frames
// (28 x 18, one report per line) back to back, as fast as the pty takes
// them: frames per second the simulator wrote, frames per second delivered
// to the caller through get_image_frame, and the library's CPU time per
// frame. The simulator runs in this process (its frame count is read from
// its state), so the CPU time includes its thread.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "diagnostics/image_capture.h"
#include "link/discovery.h"
#include "link/link.h"
#include "link/reply_wait.h"
#include "maintenance/parameter_blocks.h"
#include "sim/simulator.h"

namespace {

double cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  tmode::sim::Simulator sim;
  sim.update([](tmode::sim::ControllerState& s) { s.stream.interval_ms = 0; });
  if (!sim.start_pty()) return 1;
  const std::string path = sim.pty_path();
  if (tmode::set_device_path(path.c_str(), static_cast<int>(path.size())) != 1 || tmode::open_link(0, 0, 1) <= 0) {
    std::fprintf(stderr, "cannot open the link\n");
    return 1;
  }
  if (tmode::start_image_stream(0, 0) != 0) return 1;
  std::vector<uint8_t> table(tmode::kImageTableBytes);
  tmode::select_parameter_area(0, 0, 0x4000);
  const int frames_before = sim.state().stream.frames;
  const double cpu_start = cpu_ms();
  const auto start = std::chrono::steady_clock::now();
  long delivered = 0;
  double elapsed = 0;
  while (elapsed < seconds) {
    delivered += tmode::get_image_frame(0, 0, 0, table.data());
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double cpu = cpu_ms() - cpu_start;
  const int written = sim.state().stream.frames - frames_before;
  tmode::select_parameter_area(0, 0, 0x8000);
  tmode::stop_image_stream(0, 0);
  tmode::close_link(0, 0);
  sim.stop();
  std::printf("simulator wrote   %.0f frames/s (%d frames in %.2f s)\n", written / elapsed, written, elapsed);
  std::printf("caller processed  %.0f frames/s (%ld frames; a frame replaced before the caller looked is not counted)\n",
              delivered / elapsed, delivered);
  std::printf("CPU per frame written: %.1f us (library, caller's polling loop and simulator together)\n",
              written > 0 ? cpu * 1000.0 / written : 0.0);
  return 0;
}
