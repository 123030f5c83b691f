#include "paramfile/hardware_block_pack.h"

#include <cstring>

#include "maintenance/parameter_blocks.h"
#include "tuning/tuning_result.h"

namespace tmode {

namespace {

constexpr int kModelGroup1RxShift = 28;
constexpr int kScalingOffset = 4;  // stored scaling = working scaling + 4
constexpr uint8_t kWorkMode = 229;
constexpr uint8_t kDivider = 3;

bool counts_fit(const uint8_t* config) {
  return config[cfg::kDrivingChips] <= kMaxDrivingChips &&
         config[cfg::kSensingChips] <= kMaxSensingChips &&
         config[cfg::kFrequencyCount] <= kMaxFrequencies;
}

uint8_t stored_scaling(uint8_t working) { return static_cast<uint8_t>(working + kScalingOffset); }
uint8_t working_scaling(uint8_t stored) { return static_cast<uint8_t>(stored - kScalingOffset); }

// The working frequency that frequency block f takes.
int source_frequency(const Tuner& tuner, int f, int count) {
  const bool interleaved = tuner.params.working_freq_count == 0 && count >= 3 && f >= 1 &&
                           (tuner.params.tune_flags & kImageTune) != 0;
  if (!interleaved) return f;
  return f % 2 == 0 ? f / 2 : f / 2 + (count + 1) / 2;
}

}  // namespace

int unpack_hardware_block(Tuner& tuner, SensorConfiguration& config, const uint8_t* block) {
  const uint8_t* stored = block + hw::kSensorConfiguration;
  if (!counts_fit(stored)) return 0;
  std::memcpy(config.bytes, stored, kSensorConfigurationSize);
  if (tuner.model_group_1) {
    uint8_t* c = config.bytes;
    c[cfg::rx_start(0)] = static_cast<uint8_t>(c[cfg::rx_start(0)] + kModelGroup1RxShift);
    c[cfg::rx_end(0)] = static_cast<uint8_t>(c[cfg::rx_end(0)] + kModelGroup1RxShift);
  }
  const int count = stored[cfg::kFrequencyCount];
  for (int f = 0; f < count; ++f) {
    const uint8_t* fb = block + hw::frequency_block(f);
    WorkingFrequency& w = tuner.working[f];
    w.clock_source = fb[freq::kClockSource];
    w.prescaler = fb[freq::kPrescaler];
    w.image_scaling = working_scaling(fb[freq::kImageScaling]);
    w.sl_scaling = working_scaling(fb[freq::kStrayLineScaling]);
    for (int i = 0; i < kImageChannels; ++i) {
      const uint8_t* group = fb + freq::image_group(i);
      w.delay[i] = group[freq::kDelay];
      w.gain_b[i] = group[freq::kGainB];
      w.gain_a[i] = group[freq::kGainA];
      w.rs[i] = static_cast<uint8_t>(group[freq::kRs] << 4);
    }
  }
  return 1;
}

int pack_hardware_block(Tuner& tuner, uint8_t* block) {
  const uint8_t* config = tuner.config.bytes;
  if (!counts_fit(config)) return 0;
  fill_tuning_result(tuner, block);

  for (int chip = 0; chip < config[cfg::kSensingChips]; ++chip) {
    block[hw::kCalVref + chip] = tuner.cal_vref[chip];
    block[hw::kSensorConfiguration + cfg::cal_vref_range(chip)] = tuner.cal_range[chip];
  }
  write_le16(block + hw::kCalIndex, tuner.params.cal_index);

  const int count = config[cfg::kFrequencyCount];
  const bool stray_line = (tuner.params.tune_flags & kStrayLineTune) != 0;
  for (int f = 0; f < count; ++f) {
    const WorkingFrequency& w = tuner.working[source_frequency(tuner, f, count)];
    uint8_t* fb = block + hw::frequency_block(f);
    fb[freq::kWorkMode] = kWorkMode;
    fb[freq::kDivider] = kDivider;
    fb[freq::kPrescaler] = w.prescaler & 127;
    fb[freq::kClockSource] = w.clock_source;
    fb[freq::kImageScaling] = stored_scaling(w.image_scaling);
    for (int i = 0; i < kImageChannels; ++i) {
      uint8_t* group = fb + freq::image_group(i);
      group[freq::kDelay] = w.delay[i];
      group[freq::kGainB] = w.gain_b[i];
      group[freq::kGainA] = w.gain_a[i];
      group[freq::kRs] = static_cast<uint8_t>(w.rs[i] >> 4);
      group[freq::kGainD] = w.gain_d[i];
    }
    if (stray_line) {
      uint8_t* group = fb + freq::kStrayLineGroup;
      fb[freq::kStrayLineScaling] = stored_scaling(w.sl_scaling);
      group[freq::kDelay] = w.sl_delay;
      group[freq::kGainB] = w.sl_gain_b;
      group[freq::kGainA] = w.sl_gain_a;
      group[freq::kRs] = static_cast<uint8_t>(w.sl_rs >> 4);
      group[freq::kGainD] = w.sl_gain_d;
    }
  }
  return 1;
}

int load_hardware_block_from_controller(Tuner& tuner) {
  uint8_t block[kHardwareBlockSize];
  if (read_parameter_block(kHardwareBlock, 0, kHardwareBlockSize, block) != kHardwareBlockSize) return 0;
  if (unpack_hardware_block(tuner, tuner.config, block) == 0) return 0;
  std::memcpy(tuner.hardware_block, block, kHardwareBlockSize);
  return 1;
}

}  // namespace tmode
