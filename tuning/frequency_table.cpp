#include "tuning/frequency_table.h"

#include "tuning/tuner.h"

namespace tmode {

namespace {

constexpr FrequencyEntry kTable0[] = {{0, 12}, {0, 13}, {0, 14}, {1, 12}, {0, 15}, {1, 13}, {0, 16}, {2, 12},
    {0, 17}, {1, 15}, {2, 13}, {0, 19}, {3, 12}, {2, 14}, {0, 20}, {1, 17}, {3, 13}, {2, 15}, {1, 18}, {0, 22},
    {2, 16}, {1, 19}, {0, 23}, {2, 17}, {3, 15}, {0, 25}, {2, 18}, {3, 16}, {0, 26}, {1, 22}, {2, 19}, {0, 27},
    {3, 17}, {1, 23}, {2, 20}, {3, 18}, {2, 21}, {1, 25}, {3, 19}, {2, 22}, {1, 26}, {3, 20}, {2, 23}, {1, 27},
    {0, 33}, {3, 21}, {0, 34}, {1, 29}, {3, 22}, {1, 30}, {2, 26}, {1, 31}, {2, 27}, {3, 24}, {3, 25}};
constexpr FrequencyEntry kTable1[] = {{0, 12}, {0, 13}, {0, 14}, {0, 15}, {1, 12}, {0, 17}, {1, 13}, {0, 18},
    {1, 14}, {0, 19}, {0, 21}, {1, 16}, {2, 13}, {1, 17}, {0, 23}, {2, 14}, {3, 12}, {2, 15}, {1, 19}, {3, 13},
    {2, 16}, {0, 27}, {3, 14}, {2, 17}, {0, 29}, {1, 22}, {3, 15}, {1, 23}, {0, 31}, {2, 19}, {3, 16}, {2, 20}};
constexpr FrequencyEntry kTable16[] = {{0, 12}, {0, 13}, {1, 12}, {0, 14}, {1, 13}, {0, 15}, {2, 12}, {0,
 16}, {1, 14}, {2, 13}, {0, 17}, {3, 12}, {2, 14}, {1, 16}, {3, 13}, {0, 19}, {2, 15}, {1, 17}, {0, 20}, {2,
 16}, {0, 21}, {3, 15}, {1, 19}, {2, 17}, {0, 22}, {1, 20}, {0, 23}, {2, 18}, {1, 21}, {3, 17}, {2, 19}, {0,
 25}, {1, 22}, {2, 20}, {0, 26}, {1, 23}, {2, 21}, {1, 24}, {0, 28}, {1, 25}, {0, 29}, {0, 30}, {3, 22}, {2,
 25}, {1, 29}, {0, 34}, {2, 27}, {1, 31}, {3, 25}};
constexpr FrequencyEntry kTable32[] = {{0, 12}, {0, 13}, {1, 12}, {0, 14}, {1, 13}, {2, 12}, {1, 14}, {0,
 16}, {2, 13}, {3, 12}, {1, 15}, {0, 17}, {2, 14}, {3, 13}, {1, 16}, {2, 15}, {0, 19}, {1, 17}, {3, 14}, {2,
 16}, {1, 18}, {3, 15}, {0, 21}, {2, 17}, {1, 19}, {3, 16}, {2, 18}, {0, 23}, {3, 17}, {2, 19}, {0, 24}, {3,
 18}, {2, 20}, {1, 23}, {3, 19}, {1, 24}, {3, 20}, {0, 28}, {1, 25}, {2, 23}, {3, 21}, {2, 24}, {3, 22}, {1,
 27}, {0, 31}, {2, 25}, {1, 28}, {3, 23}, {0, 32}, {2, 26}, {1, 29}, {3, 24}, {2, 27}, {2, 28}, {2, 29}, {2,
 30}};
constexpr FrequencyEntry kTableOther[] = {{0, 12}, {0, 13}, {0, 14}, {0, 15}, {0, 16}, {1, 13}, {0, 17}, {1,
 14}, {0, 18}, {1, 15}, {0, 19}, {2, 13}, {0, 20}, {0, 21}, {1, 17}, {0, 22}, {1, 18}, {3, 13}, {0, 23}, {1,
 19}, {0, 24}, {3, 14}, {0, 25}, {2, 17}, {0, 26}, {1, 21}, {0, 27}, {1, 22}, {0, 28}, {2, 19}, {1, 23}, {0,
 29}, {5, 13}, {3, 17}, {0, 30}, {0, 31}, {1, 25}, {2, 21}, {0, 32}, {1, 26}, {3, 19}, {1, 27}, {2, 23}, {0,
 35}, {0, 36}, {1, 29}, {3, 21}, {1, 30}};

struct TableRow {
  int cpu_speed;  // -1: any other
  double base;
  int c;
  const FrequencyEntry* entries;
  int size;
};

template <int N>
constexpr TableRow row(int cpu_speed, double base, int c, const FrequencyEntry (&entries)[N]) {
  return {cpu_speed, base, c, entries, N};
}

constexpr TableRow kRows[] = {
    row(0, 96000, 30, kTable0),   row(1, 48000, 18, kTable1),      row(16, 120000, 42, kTable16),
    row(32, 144000, 48, kTable32), row(-1, 72000, 24, kTableOther),
};

const TableRow& row_for(uint8_t cpu_speed) {
  for (const TableRow& r : kRows) {
    if (r.cpu_speed == cpu_speed) return r;
  }
  return kRows[4];
}

}  // namespace

const FrequencyEntry* frequency_table(uint8_t cpu_speed, int* size) {
  const TableRow& r = row_for(cpu_speed);
  *size = r.size;
  return r.entries;
}

double frequency_khz(const Tuner& tuner, int n, int p) {
  const TableRow& r = row_for(tuner.config.bytes[cfg::kCpuSpeed]);
  const double divisor = static_cast<double>(6 * n + r.c) * p;
  return divisor > 0 ? r.base / divisor : 0.0;
}

int register_file_frequencies(Tuner& tuner) {
  int size = 0;
  const FrequencyEntry* table = frequency_table(tuner.config.bytes[cfg::kCpuSpeed], &size);
  const int count = tuner.params.nums_of_freq;
  if (count > kMaxFrequencies) return 0;
  FrequencyEntry built[kMaxFrequencies] = {};
  int index = 0;
  for (int i = 0; i < count; ++i) {
    index = i < tuner.params.working_freq_count ? tuner.params.working_freq[i] : (i == 0 ? 0 : index + 1);
    if (index >= size) return 0;
    built[i] = table[index];
  }
  for (int i = 0; i < count; ++i) tuner.file_frequencies[i] = built[i];
  tuner.file_frequency_count = static_cast<uint8_t>(count);
  tuner.params.start_of_freq = 0;
  return 1;
}

const FrequencyEntry* active_frequency_table(const Tuner& tuner, int* size) {
  if (tuner.file_frequency_count > 0) {
    *size = tuner.file_frequency_count;
    return tuner.file_frequencies;
  }
  return frequency_table(tuner.config.bytes[cfg::kCpuSpeed], size);
}

}  // namespace tmode
