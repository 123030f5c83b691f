// Calibration: the gain (CalVref) and range of the sensing chips that bring
// a reference measurement to its target, stored in the hardware block.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

// Sets the model groups from the library's model code and
// use_reference_calibration from the controller level and the device
// information ('6',0x14).
void prepare_calibration(Tuner& tuner);

// count scans of (0, 255), each read from the chip's measurement register
// (106 in model group 2, else 190) with the phase bits 2; the mean. A sample
// whose read fails keeps the previous sample's bytes (0 at first).
int32_t measure_average(Tuner& tuner, uint8_t* register_template, int chip, int count);

// Chip 0 only: 1 pass, 0 fail (the two arguments are not used).
int calibrate(Tuner& tuner, int calibration_index, int mode);

// 1 pass; 0, storing nothing, when the two measurements are equal.
int calibrate_by_reference(Tuner& tuner);

// Raw-data balance of two neighbouring lines of one chip: 1 found, 0 failed.
int calibrate_vref_pair(Tuner& tuner, int chip, int line_offset, int capture_mode);

// Each sensing chip against its target value: 1 all chips pass, 0 otherwise.
int calibrate_vref_per_chip(Tuner& tuner, int capture_mode);

// Calibrates and writes the hardware block with commit: 0, or -1 with
// "Calibrating Fail...".
int calibrate_and_store(Tuner& tuner);

// RefRSIndex and RRatio0 become 3000; a change writes the hardware block
// (its checksum recomputed first) to the controller with commit.
void apply_signal_preset(Tuner& tuner);

}  // namespace tmode
