// Continuous capture from a simulated controller that streams raw frames
// (28 x 18, one report per line) back to back, as fast as the pty takes
// them: frames per second the simulator wrote, frames per second the
// library completed and the caller processed through get_image_frame, what
// was lost on the way, and the library's CPU time per frame.
//
// Two callers: one that polls get_image_frame without pause, and one that
// waits for each frame with wait_image_frame. The simulator runs in this
// process; its thread's CPU time is taken out of the process's, and the
// caller's thread is counted apart.
//
//   continuous_capture [seconds per caller, default 3]
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/image_capture.h"
#include "link/discovery.h"
#include "link/link.h"
#include "link/reply_wait.h"
#include "maintenance/parameter_blocks.h"
#include "sim/simulator.h"

namespace {

double cpu_ms(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

double per_frame_us(double ms, long frames) { return frames > 0 ? ms * 1000.0 / static_cast<double>(frames) : 0.0; }

enum class Caller { kPolls, kWaits };

void measure(tmode::sim::Simulator& sim, Caller caller, double seconds) {
  const tmode::CaptureState& capture = tmode::diagnostics_state().capture;
  std::vector<uint8_t> table(tmode::kImageTableBytes);
  if (tmode::start_image_stream(0, 0) != 0) return;
  tmode::select_parameter_area(0, 0, 0x4000);
  // The first frame marks the start, so that every frame counted below was
  // written and collected within the measured time.
  while (capture.frames_completed.load() == 0) tmode::sleep_ms(1);
  tmode::get_image_frame(0, 0, 0, table.data());
  const long written_before = sim.state().stream.frames;
  const uint32_t completed_before = capture.frames_completed.load();
  const uint32_t unseen_before = capture.frames_unseen.load();
  const uint32_t retried_before = capture.frames_retried.load();
  const size_t dropped_before = sim.dropped_writes();
  const double process_start = cpu_ms(CLOCK_PROCESS_CPUTIME_ID);
  const double caller_start = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
  const double sim_start = sim.thread_cpu_ms();
  const auto start = std::chrono::steady_clock::now();
  long delivered = 0;
  double elapsed = 0;
  while (elapsed < seconds) {
    if (caller == Caller::kWaits) tmode::wait_image_frame(0, 0, 100);
    delivered += tmode::get_image_frame(0, 0, 0, table.data());
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double caller_ms = cpu_ms(CLOCK_THREAD_CPUTIME_ID) - caller_start;
  const double process_ms = cpu_ms(CLOCK_PROCESS_CPUTIME_ID) - process_start;
  const double sim_ms = sim.thread_cpu_ms() - sim_start;
  const long written = sim.state().stream.frames - written_before;
  const long completed = static_cast<long>(capture.frames_completed.load() - completed_before);
  const long unseen = static_cast<long>(capture.frames_unseen.load() - unseen_before);
  const long retried = static_cast<long>(capture.frames_retried.load() - retried_before);
  const size_t dropped = sim.dropped_writes() - dropped_before;
  tmode::select_parameter_area(0, 0, 0x8000);
  tmode::stop_image_stream(0, 0);
  // The reader thread: what the process used beyond the simulator and the caller.
  const double reader_ms = process_ms - sim_ms - caller_ms;
  std::printf("%s, %.2f s:\n", caller == Caller::kPolls ? "caller polls get_image_frame" : "caller waits with wait_image_frame",
              elapsed);
  std::printf("  simulator wrote   %6.0f frames/s (%ld frames; %zu reports it could not write)\n", written / elapsed,
              written, dropped);
  std::printf("  library completed %6.0f frames/s (%ld frames; %ld collected again after a missing report)\n",
              completed / elapsed, completed, retried);
  std::printf("  caller processed  %6.0f frames/s (%ld frames; %ld replaced before the caller looked)\n",
              delivered / elapsed, delivered, unseen);
  std::printf("  lost between simulator and caller: %ld frames (the last one may still be on its way)\n",
              written - delivered);
  std::printf("  CPU per frame: reader thread %.1f us, caller %.1f us, simulator %.1f us\n",
              per_frame_us(reader_ms, completed), per_frame_us(caller_ms, delivered), per_frame_us(sim_ms, written));
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
  measure(sim, Caller::kPolls, seconds);
  measure(sim, Caller::kWaits, seconds);
  tmode::close_link(0, 0);
  sim.stop();
  return 0;
}
