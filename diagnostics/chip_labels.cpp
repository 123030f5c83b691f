#include "diagnostics/chip_labels.h"

#include "paramfile/block_layout.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

int bounded(int count, int limit) { return count < 0 ? 0 : count > limit ? limit : count; }

ChipSpans from_configuration(const SensorConfiguration& c, int count_at, int limit, int (*first_at)(int),
                             int (*last_at)(int)) {
  ChipSpans s;
  s.count = bounded(c.bytes[count_at], limit);
  for (int k = 0; k < s.count; ++k) {
    s.first[k] = c.bytes[first_at(k)];
    s.last[k] = c.bytes[last_at(k)];
  }
  return s;
}

ChipSpans from_ranges(int count, int limit, const int32_t* first, const int32_t* last) {
  ChipSpans s;
  s.count = bounded(count, limit);
  for (int k = 0; k < s.count; ++k) {
    s.first[k] = first[k];
    s.last[k] = last[k];
  }
  return s;
}

}  // namespace

ChipSpans tuner_driving_chips(const Tuner& tuner) {
  return from_configuration(tuner.config, cfg::kDrivingChips, kMaxDrivingChips, cfg::tx_start, cfg::tx_end);
}

ChipSpans tuner_sensing_chips(const Tuner& tuner) {
  return from_configuration(tuner.config, cfg::kSensingChips, kMaxSensingChips, cfg::rx_start, cfg::rx_end);
}

ChipSpans library_driving_chips() {
  const ChannelRanges& r = protocol_state().ranges;
  return from_ranges(r.driving_chip_count, kMaxDrivingChips, r.tx_start, r.tx_end);
}

ChipSpans library_sensing_chips() {
  const ChannelRanges& r = protocol_state().ranges;
  return from_ranges(r.sensing_chip_count, kMaxSensingChips, r.rx_start, r.rx_end);
}

ChipLabelWalk::ChipLabelWalk(const ChipSpans& spans) : spans_(spans), channel_(spans.count > 0 ? spans.first[0] : 0) {}

void ChipLabelWalk::advance() {
  if (chip_ + 1 < spans_.count && channel_ >= spans_.last[chip_]) {
    ++chip_;
    channel_ = spans_.first[chip_];
  } else {
    ++channel_;
  }
}

}  // namespace tmode
