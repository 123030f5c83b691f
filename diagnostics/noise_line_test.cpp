#include "diagnostics/noise_line_test.h"

#include <cstdio>

#include "diagnostics/data_words.h"
#include "diagnostics/log_stream.h"
#include "diagnostics/touch_info_reply.h"
#include "link/handler_registration.h"
#include "diagnostics/diagnostics_state.h"
#include "maintenance/maintenance_state.h"
#include "protocol/protocol_state.h"
#include "link/reply_wait.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"

namespace tmode {

namespace {

constexpr uint16_t kNoiseDataWord = 0x2000;
constexpr int kWaitChecks = 20;
constexpr int kWaitStepMs = 100;

// Reader thread: one '?','h' reply.
void on_touch_info(int, int size, const uint8_t* report) {
  if (!take_touch_info(size, report, &diagnostics_state().touch_info)) return;
  NoiseLineState& noise = diagnostics_state().noise;
  const int at = noise.collected.load(std::memory_order_relaxed);
  if (at >= noise.target) return;  // the list holds what was asked for
  noise.list[at] = static_cast<int16_t>(touch_info_max_noise(diagnostics_state().touch_info));
  noise.collected.store(at + 1, std::memory_order_release);
  if (at + 1 == noise.target) noise.done.store(true, std::memory_order_release);
}

}  // namespace

int noise_line_test(int, int, int count, int threshold) {
  NoiseLineState& noise = diagnostics_state().noise;
  noise.collected.store(0);
  noise.done.store(false);
  if (count < 1 || count > kNoiseListSize) {
    noise.target = 0;
    noise.noise_failed = true;
    return -1;
  }
  noise.target = count;
  SharedLogFile log(kMainLog, "a+");

  bool done = false;
  {
    HandlerRegistration handler('?', 'h', on_touch_info);
    select_parameter_area(0, 0, kNoiseDataWord);
    set_touch_info(1);
    for (int i = 0; i < kWaitChecks; ++i) {
      if ((done = noise.done.load(std::memory_order_acquire))) break;
      sleep_ms(kWaitStepMs);
    }
    select_parameter_area(0, 0, kStopDataWord);
    set_touch_info(0);
  }

  const int collected = noise.collected.load(std::memory_order_acquire);
  bool failed = collected < count;
  for (int i = 0; i < collected; ++i) failed = failed || noise.list[i] > threshold;
  noise.noise_failed = failed;
  if (!failed) return done ? 0 : -1;

  if (FILE* out = log.stream()) {
    std::fputs("R[N]:,", out);
    for (int i = 0; i < count; ++i) {
      // Entries that never arrived print as 0.
      const int v = i < collected ? noise.list[i] : 0;
      std::fprintf(out, v > threshold ? "*%d," : "%d,", v);
    }
    if (collected < count) std::fprintf(out, "Get Data Fail, Count=%d", collected);
    std::fputs("\r\nNoise Line Variation Fail\r\n\r\n", out);
  }
  return -1;
}

}  // namespace tmode
