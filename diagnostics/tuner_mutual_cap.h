// The Tuner generation of the mutual-capacitance test and the Tuner's raw
// frame dump. They read their frames with read_tuner_frame and write to the
// Tuner's log stream with "\n" line ends.
//
// Settings: the Tuner's mutual_cap_values are the threshold, the last-Rx
// tolerance and the corner tolerance; mutual_cap_argument the repeat count.
// Its sensor configuration holds the extended-corner setting (byte
// kExtendedCornerSetting) and its software block the origin byte (the swap
// bits: bit 1 mirrors X, bit 2 mirrors Y).
#pragma once

#include <cstdint>

#include "diagnostics/data_words.h"
#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kExtendedCornerSetting = 84;  // in the sensor configuration
inline constexpr int kMutualCapWarningThreshold = 80;

// Averages the repeat count of RawL2 frames (0x4000), scaled by the
// mutual-scaling word, and judges the differences between neighbouring Tx
// lines. 1 pass, 0 fail (also when no scaling is known or a frame read
// fails, and then no table is written).
int tuner_mutual_cap_test(Tuner& tuner);

// The two-phase variant: frames (0x4004) with the first frequency's seven
// image delays at 0 and at P, judged on I^2 + Q^2; standard output only.
// The delays are restored and written back on every way out. 1 pass, 0 fail.
int tuner_mutual_cap_phase_test(Tuner& tuner);

// "Raw16 Data": one raw frame (data word 0x4004), one row per Rx line, one
// column per Tx line, labelled with the chips. 1, or 0 when the frame read
// fails (and then only the title is written).
int tuner_raw16_dump(Tuner& tuner);

}  // namespace tmode
