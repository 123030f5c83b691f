#include "sim/sensor_noise_spike.h"

#include <cstdio>

namespace tmode::sim {

int spike_at(const NoiseSpike& spike, int tx, int rx, int sample) {
  if (spike.every <= 0 || tx != spike.tx || rx != spike.rx) return 0;
  return sample % spike.every == spike.every - 1 ? spike.size : 0;
}

bool parse_noise_spike(const char* text, NoiseSpike& spike) {
  NoiseSpike parsed;
  char tail = 0;
  if (std::sscanf(text, "%d,%d,%d,%d%c", &parsed.tx, &parsed.rx, &parsed.size, &parsed.every, &tail) != 4 ||
      parsed.every < 1) {
    return false;
  }
  spike = parsed;
  return true;
}

}  // namespace tmode::sim
