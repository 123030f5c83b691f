// The tuning result copied into a hardware block image.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// Sum over the driving chips of TXEnd - TXStart + 1 in the configuration;
// -1 when the chip count is above 3.
int driving_line_count(const SensorConfiguration& config);

// Clears the result flags, sets the TX count, copies the working sensor
// configuration to bytes 8 to 393 of the 2048-byte block image (RXStart0 and
// RXEnd0 lowered by 28 in model group 1) and, for the runs "autotune",
// "testandtune" and "adjust_ts", puts ImageTouchSignal into TouchSignal.
// 1; 0, with nothing changed, for a configuration of more than 3 driving
// chips.
int fill_tuning_result(Tuner& tuner, uint8_t* block);

}  // namespace tmode
