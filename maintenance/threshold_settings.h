// The number of threshold records, the active touch mode and its
// sensitivity level, and setting a mode with a new level, for the three
// software-block layouts. The images must have been loaded beforehand
// (load_parameter_images: slots 1 to 4 fill the first software image used by
// layouts A and C, slot 5 the current software image used by layout B).
#pragma once

#include <cstdint>

namespace tmode {

struct ThresholdInfo {
  uint8_t record_count;  // number of threshold records
  uint8_t mode;          // the touch mode index
  int8_t level;          // sensitivity level, 0 to 10
};

// Read the active mode from the controller, fill info from the image and
// print it; 0. When the mode cannot be read, print "Get Threshold Mode Fail"
// and return -1; a mode whose record lies beyond the block gives -1 too.
// info is left unchanged on failure.
int get_threshold_info(ThresholdInfo* info);    // layout A
int get_threshold_info_b(ThresholdInfo* info);  // layout B

// Layout C keeps one record: {1, 0, level}, printed; no command is sent. 0.
int get_single_threshold_info(ThresholdInfo* info);

// Switch to the mode in info->mode (layouts A and B; the answer does not
// matter), rescale its record to info->level in the image, then write the
// block back with a commit. 0 when all 512 bytes were written, else -1. A
// mode beyond the block, or a record to be rescaled from an old level of
// 10, is refused with -1 before anything is sent or changed.
int set_threshold_sensitivity(const ThresholdInfo* info);         // layout A
int set_threshold_sensitivity_b(const ThresholdInfo* info);       // layout B
int set_single_threshold_sensitivity(const ThresholdInfo* info);  // layout C

}  // namespace tmode
