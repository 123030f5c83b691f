// The chip labels of the diagnostic tables: each Tx column and Rx row is
// named after the chip that drives or senses it and the channel's number
// within that chip ("Chip-%d[%02d]").
#pragma once

#include "protocol/channel_ranges.h"
#include "tuning/tuner.h"

namespace tmode {

// The first and last channel of each driving or sensing chip.
struct ChipSpans {
  int count = 0;
  int first[kMaxSensingChips] = {};
  int last[kMaxSensingChips] = {};
};

// From the Tuner's sensor configuration, or from the library's channel
// ranges. Counts beyond the chip tables are cut to them (3 driving, 4
// sensing chips).
ChipSpans tuner_driving_chips(const Tuner& tuner);
ChipSpans tuner_sensing_chips(const Tuner& tuner);
ChipSpans library_driving_chips();
ChipSpans library_sensing_chips();

// Walks the labels from chip 0's first channel: after each label, a chip
// whose last channel was reached gives way to the next chip's first
// channel, else the channel advances. The walk never leaves the last chip:
// lines beyond the chips' ranges count on past its last channel.
class ChipLabelWalk {
 public:
  explicit ChipLabelWalk(const ChipSpans& spans);
  int chip() const { return chip_; }
  int channel() const { return channel_; }
  void advance();

 private:
  ChipSpans spans_;
  int chip_ = 0;
  int channel_ = 0;
};

}  // namespace tmode
