// The parameter images a freshly created Tuner starts with.
#pragma once

#include "paramfile/block_layout.h"

namespace tmode {

struct Tuner;

void fill_initial_sensor_configuration(SensorConfiguration& config);
void fill_initial_frequency_block(FrequencyBlock& block);

// The Tuner's blocks (with valid checksums), working sensor configuration and
// ten frequency blocks.
void set_initial_parameter_images(Tuner& tuner);

}  // namespace tmode
