#include "tuning/working_tables.h"

#include <cstring>

#include "maintenance/byte_order.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_checksums.h"
#include "tuning/front_end.h"
#include "tuning/tuning_result.h"

namespace tmode {

namespace {

constexpr int kMaxDrivingChips = 3;

bool counts_fit(const uint8_t* c) {
  return c[cfg::kSensingChips] <= kMaxSensingChips && c[cfg::kDrivingChips] <= kMaxDrivingChips &&
         c[cfg::kFrequencyCount] <= kMaxFrequencies;
}

bool targets_unset(const uint8_t* t) {
  bool all_zero = true, steps_of_four = true;
  for (int i = 0; i < kImageChannels; ++i) {
    if (t[i] != 0) all_zero = false;
    if (i > 0 && t[i] != t[i - 1] + 4) steps_of_four = false;
  }
  return all_zero || steps_of_four;
}

}  // namespace

int validate_parameters(Tuner& tuner) {
  const uint8_t* stored = tuner.hardware_block + hw::kSensorConfiguration;
  if (!counts_fit(stored)) return 0;
  SensorConfiguration loaded;
  std::memcpy(loaded.bytes, stored, kSensorConfigurationSize);
  const int lines = driving_line_count(loaded);
  if (lines < 2) return 0;
  uint8_t targets[kImageChannels];
  for (int i = 0; i < kImageChannels; ++i) targets[i] = tuner.config.bytes[cfg::cal_target(i)];
  if (targets_unset(targets)) {
    const int n = lines;
    const int spread[kImageChannels] = {0, 1, n / 2 - n / 4, n / 2, n / 2 + n / 4, n - 2, n - 1};
    for (int i = 0; i < kImageChannels; ++i) targets[i] = static_cast<uint8_t>(spread[i]);
  }
  tuner.config = loaded;
  for (int i = 0; i < kImageChannels; ++i) tuner.config.bytes[cfg::cal_target(i)] = targets[i];
  tuner.hardware_block[block::kVersionByte0] = 0;
  tuner.hardware_block[block::kVersionByte1] = 1;
  tuner.software_block[block::kVersionByte0] = 0;
  tuner.software_block[block::kVersionByte1] = 1;
  return 1;
}

int load_working_tables(Tuner& tuner, int mode) {
  const uint8_t* block = tuner.hardware_block;
  const uint8_t* stored = block + hw::kSensorConfiguration;
  if (!counts_fit(stored)) return 0;
  tuner.frequency_count = stored[cfg::kFrequencyCount];
  if (mode != 2 || tuner.params.auto_cal_target != 0) {
    if (!validate_parameters(tuner)) return 0;
  } else {
    uint8_t targets[kImageChannels];
    for (int i = 0; i < kImageChannels; ++i) targets[i] = tuner.config.bytes[cfg::cal_target(i)];
    std::memcpy(tuner.config.bytes, stored, kSensorConfigurationSize);
    for (int i = 0; i < kImageChannels; ++i) tuner.config.bytes[cfg::cal_target(i)] = targets[i];
  }
  if (mode == 0) {
    for (int c = 0; c < stored[cfg::kSensingChips]; ++c) {
      tuner.cal_vref[c] = block[hw::kCalVref + c];
      tuner.cal_range[c] = stored[cfg::cal_vref_range(c)];
    }
  }
  for (int f = 0; f < tuner.frequency_count; ++f) {
    const uint8_t* fb = block + hw::frequency_block(f);
    WorkingFrequency& w = tuner.working[f];
    w.prescaler = fb[freq::kPrescaler];
    w.clock_source = fb[freq::kClockSource];
    w.image_scaling = static_cast<uint8_t>(fb[freq::kImageScaling] - 4);
    w.sl_scaling = static_cast<uint8_t>(fb[freq::kStrayLineScaling] - 4);
    uint8_t per_chip[kMaxSensingChips] = {};
    for (int t = 0; t < kImageChannels; ++t) {
      const uint8_t* g = fb + freq::image_group(t);
      w.delay[t] = g[freq::kDelay];
      w.gain_b[t] = g[freq::kGainB];
      w.gain_a[t] = g[freq::kGainA];
      w.gain_d[t] = g[freq::kGainD];
      rs_values_for(tuner, g[freq::kRs] & 15, per_chip);
      w.rs[t] = per_chip[0];
    }
    const uint8_t* sl = fb + freq::kStrayLineGroup;
    w.sl_delay = sl[freq::kDelay];
    w.sl_gain_b = sl[freq::kGainB];
    w.sl_gain_a = sl[freq::kGainA];
    w.sl_gain_d = sl[freq::kGainD];
    rs_values_for(tuner, sl[freq::kRs] & 15, per_chip);
    w.sl_rs = per_chip[0];
  }
  return 1;
}

void reseal_hardware_block(Tuner& tuner) {
  write_le16(tuner.hardware_block + block::kChecksum, hardware_block_checksum(tuner.hardware_block, kHardwareBlockSize));
}

int store_hardware_block(Tuner& tuner) {
  reseal_hardware_block(tuner);
  return write_parameter_block(1, 0, kHardwareBlockSize, tuner.hardware_block, 1) == kHardwareBlockSize ? 1 : 0;
}

}  // namespace tmode
