// Percentiles of latency samples, for the benchmark programs.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tmode::bench {

inline double percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const size_t index = static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[index];
}

inline void print_comparison(const char* what, const std::vector<double>& library,
                             const std::vector<double>& bare) {
  const double lib50 = percentile(library, 0.50), lib99 = percentile(library, 0.99);
  const double bare50 = percentile(bare, 0.50), bare99 = percentile(bare, 0.99);
  std::printf("%s (%zu samples each, microseconds)\n", what, library.size());
  std::printf("  %-10s %10s %10s\n", "", "p50", "p99");
  std::printf("  %-10s %10.1f %10.1f\n", "library", lib50, lib99);
  std::printf("  %-10s %10.1f %10.1f\n", "bare", bare50, bare99);
  std::printf("  %-10s %10.2f %10.2f\n", "ratio", lib50 / bare50, lib99 / bare99);
}

}  // namespace tmode::bench
