#include "tuning/gain_a_search.h"

#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "link/output_sink.h"
#include "tuning/phase_peaks.h"

namespace tmode {

namespace {

constexpr int kMaxSteps = 6;
constexpr int kTopGainA = 15;

void log_peaks(Tuner& tuner, int target, int rs_value, int gain_a, int a, int b, bool stray_line) {
  if (tuner.log_stream == nullptr) return;
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  const time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  const int ms = static_cast<int>(now.tv_usec / 1000);
  const int srs = rs_value | (gain_a & 15);
  const int sr3 = gain_a > 15 ? 0x80 : 0;
  const int f = tuner.registered_frequencies;
  if (stray_line) {
    std::fprintf(tuner.log_stream,
                 "Freq=%d, Tx Group%d, SRS =%02X,  SR3 = %02X PeakA=%d PeakB=%d, time=%02d:%02d:%02d.%03d\n", f,
                 target, srs, sr3, a, b, local.tm_hour, local.tm_min, local.tm_sec, ms);
  } else {
    std::fprintf(tuner.log_stream,
                 "FreqNo=%d, TX=%d, SRS=%02X, SR3=%02X, PeakA=%d, PeakB=%d, time=%02d:%02d:%02d.%03d\n", f,
                 tuner.config.bytes[cfg::cal_target(target)], srs, sr3, a, b, local.tm_hour, local.tm_min,
                 local.tm_sec, ms);
  }
}

}  // namespace

int search_gain_a(Tuner& tuner, int target, int rs, const uint8_t* rs_per_chip, int signal_high,
                  int signal_low, int* peak_a, int* peak_b, bool stray_line) {
  const int tolerance = stray_line ? tuner.params.sl_signal_tolerance : tuner.params.signal_tolerance;
  int low = 0, high = kTopGainA, gain_a = tuner.params.start_gain_a, steps = 0;
  int a = 0, b = 0;
  auto measure = [&](int g) {
    if (!measure_phase_peaks(tuner, target, rs, g, rs_per_chip, &a, &b)) return false;
    log_peaks(tuner, target, rs_per_chip[0], g, a, b, stray_line);
    return true;
  };
  for (;;) {
    if (high < low + 1) return 0;
    if (steps > kMaxSteps) {
      out_puts("Break the dead loop...");
      return 0;
    }
    if (!measure(gain_a)) return 0;
    if (a <= signal_high && b <= signal_high && a >= signal_low - tolerance && b >= signal_low - tolerance) break;
    if ((a > signal_high && b < signal_low) || (b > signal_high && a < signal_low)) return 0;
    const int previous = gain_a;
    if (a <= signal_high && b <= signal_high) {
      // Too low: a smaller GainA raises the peaks. A start above the range
      // leaves the bisection inside 0 to 15.
      high = std::min(gain_a, kTopGainA);
      gain_a = (low + gain_a) / 2;
    } else {
      low = std::min(gain_a, kTopGainA);
      gain_a = (gain_a + high + 1) / 2;
    }
    if (gain_a == previous) return 0;
    ++steps;
  }

  // Refine towards the low edge, going back a step that overshoots without
  // getting closer.
  int m = std::min(a, b);
  if (m > signal_low) {
    while (m > signal_low && gain_a <= 14) {
      const int keep_a = a, keep_b = b;
      if (!measure(gain_a + 1)) return 0;
      const int next = std::min(a, b);
      if (next < signal_low && signal_low - next >= m - signal_low) {
        a = keep_a;
        b = keep_b;
        break;
      }
      ++gain_a;
      m = next;
    }
  } else if (m < signal_low) {
    while (m < signal_low && gain_a > 0) {
      const int keep_a = a, keep_b = b;
      if (!measure(gain_a - 1)) return 0;
      const int next = std::min(a, b);
      if (next > signal_low && next - signal_low >= signal_low - m) {
        a = keep_a;
        b = keep_b;
        break;
      }
      --gain_a;
      m = next;
    }
  }
  *peak_a = a;
  *peak_b = b;
  if (m > signal_low + tolerance || std::abs(m - signal_low) > tolerance) {
    out_printf("The Low value %02d not in tolerance, so throw it away.\n", m);
    return 0;
  }
  out_printf("RS=0x%02X, GainA=0x%02X\n", rs_per_chip[0], gain_a);
  WorkingFrequency& f = tuner.working[tuner.registered_frequencies < kMaxFrequencies ? tuner.registered_frequencies : 0];
  if (stray_line) {
    f.sl_gain_a = static_cast<uint8_t>(gain_a);
  } else if (target >= 0 && target < kImageChannels) {
    f.gain_a[target] = static_cast<uint8_t>(gain_a);
  }
  return 1;
}

}  // namespace tmode
