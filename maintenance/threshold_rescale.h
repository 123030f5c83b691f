// Recomputing a threshold record's working values from a new sensitivity
// level, in an image of the 512-byte software block. Three record layouts
// exist, one per firmware generation; the caller knows which applies.
#pragma once

#include <cstdint>

namespace tmode {

enum class ThresholdLayout {
  kA,  // 70-byte records from block byte 256, level at record byte 25
  kB,  // 64-byte records from block byte 256, level at record byte 58
  kC,  // one record at fixed block offsets, level at block byte 124
};

// Block byte of the mode's level (layout C: always 124), or -1 when a field
// of the mode's record would lie beyond the 512-byte block.
int threshold_level_offset(ThresholdLayout layout, int mode);

// Scales the record of `mode` to `level` (working values = base values x
// (10 - level) / 10) and stores the level; for mode 0 of layouts A and B
// also the block-wide values that go with it. A record whose base value P
// is 0 is rescaled in place from its old level. Leaves the block untouched
// and returns -1 for a mode beyond the block or an old level of 10 in that
// case (it would divide by zero); else 0. The checksum is not updated.
int rescale_threshold_record(uint8_t* block, ThresholdLayout layout, int mode, int level);

// The software block's checksum (software_block_checksum) into bytes 2, 3.
void seal_software_block(uint8_t* block);

}  // namespace tmode
