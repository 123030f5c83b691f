// Automatic calibration targets: seven TX lines that follow the changes of
// signal along the panel, chosen from the line sums of one raw image.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kMaxTargetPercentage = 100;

// 1 done; 0 with " Failed to set correct TX gain" when the TX gain is
// refused, or 0 with the targets unchanged when the panel has fewer than 4
// TX lines, the image cannot be read or the sums never group (p above 100).
int choose_calibration_targets(Tuner& tuner);

}  // namespace tmode
