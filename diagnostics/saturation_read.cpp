#include "diagnostics/saturation_read.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/open_short_tests.h"
#include "link/output_sink.h"

namespace tmode {

namespace {

constexpr int kSaturationPolls = 100;  // of 100 ms: the 10 s the frame may take

}  // namespace

int16_t reduce_saturation_pair(uint16_t word, int16_t node) {
  const int high = (static_cast<uint16_t>(node) >> 8) & 0xFF, low = static_cast<uint16_t>(node) & 0xFF;
  if (word == kSaturationWord) return static_cast<int16_t>(high > low ? high : low);
  return static_cast<int16_t>(std::abs((high - low) >> 1));
}

void read_saturation(Tuner& tuner, uint16_t word) {
  // Flags left from an earlier frame would stand for this one.
  clear_tuner_frame_flags();
  if (collect_tuner_frame(tuner, word, kSaturationPolls) == 0) out_puts("Get Saturation Data Fail");
  for (auto& line : tuner.raw_table) {
    for (int16_t& node : line) node = reduce_saturation_pair(word, node);
  }
}

int saturation_check(Tuner& tuner) {
  out_puts("Start diagnostic test4");
  static int16_t kept[kRawTableLines][kRawTableColumns];
  std::memcpy(kept, tuner.raw_table, sizeof kept);
  clear_tuner_frame_flags();
  read_saturation(tuner, kSaturationDifferenceWord);
  std::memcpy(tuner.raw_table, kept, sizeof kept);
  return 1;
}

}  // namespace tmode
