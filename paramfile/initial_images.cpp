#include "paramfile/initial_images.h"

#include <cstring>

#include "maintenance/parameter_checksums.h"
#include "tuning/tuner.h"

namespace tmode {

void fill_initial_sensor_configuration(SensorConfiguration& config) {
  uint8_t* c = config.bytes;
  std::memset(c, 0, sizeof config.bytes);
  c[cfg::kAttr] = 32;
  write_le16(c + cfg::kXDimension, 3000);
  write_le16(c + cfg::kYDimension, 2500);
  c[cfg::kSensingChips] = 2;
  c[cfg::kDrivingChips] = 2;
  c[cfg::kFrequencyCount] = 1;
  c[cfg::kDiagRxChip] = 1;
  c[cfg::kDiagRxA] = 41;
  c[cfg::kDiagRxB] = 42;
  for (int chip = 0; chip < 2; ++chip) {
    c[cfg::tx_start(chip)] = 0;
    c[cfg::tx_end(chip)] = 42;
  }
  c[cfg::rx_start(0)] = 0;
  c[cfg::rx_end(0)] = 42;
  write_le16(c + cfg::kRefRsIndex, 3000);
  write_le16(c + cfg::r_ratio(0), 3000);
  c[cfg::kTxInStrayLine] = 10;
  c[cfg::kImageWaveSignal] = 60;
  c[cfg::kStrayLineWaveSignal] = 60;
  c[cfg::kNoiseWaveSignal] = 60;
  c[cfg::kVKeyTxGain] = 10;
  c[cfg::kVKeyWaveSignal] = 10;
}

void fill_initial_frequency_block(FrequencyBlock& block) {
  uint8_t* b = block.bytes;
  std::memset(b, 0, sizeof block.bytes);
  b[freq::kWorkMode] = 229;
  b[freq::kClockSource] = 0;
  b[freq::kDivider] = 3;
  b[freq::kPrescaler] = 18;
  b[freq::kImageScaling] = 3;
  b[freq::kStrayLineScaling] = 3;
  b[freq::kNoiseScaling] = 3;
  const auto set_group = [b](int at, uint8_t delay, uint8_t gain_b, uint8_t gain_a, uint8_t rs) {
    b[at + freq::kDelay] = delay;
    b[at + freq::kGainB] = gain_b;
    b[at + freq::kGainA] = gain_a;
    b[at + freq::kRs] = rs;
  };
  for (int channel = 0; channel < kImageChannels; ++channel) {
    set_group(freq::image_group(channel), 12, 16, 9, 15);
  }
  set_group(freq::kStrayLineGroup, 12, 16, 15, 8);
  set_group(freq::kNoiseGroup, 0, 16, 9, 15);
}

void set_initial_parameter_images(Tuner& tuner) {
  fill_initial_sensor_configuration(tuner.config);
  for (FrequencyBlock& block : tuner.frequency_blocks) fill_initial_frequency_block(block);

  uint8_t* hw = tuner.hardware_block;
  std::memset(hw, 0, kHardwareBlockSize);
  write_le16(hw + block::kLength, hw::kInitialLength);
  hw[block::kMajorVersion] = 1;
  hw[block::kMinorVersion] = 3;
  hw[block::kVersionByte0] = tuner.parameter_version[0];
  hw[block::kVersionByte1] = tuner.parameter_version[1];
  std::memcpy(hw + hw::kSensorConfiguration, tuner.config.bytes, kSensorConfigurationSize);
  for (int chip = 0; chip < kMaxSensingChips; ++chip) hw[hw::kCalVref + chip] = 128;
  write_le16(hw + hw::kCalIndex, 9200);
  for (int f = 0; f < kMaxFrequencies; ++f) {
    std::memcpy(hw + hw::frequency_block(f), tuner.frequency_blocks[f].bytes, kFrequencyBlockSize);
  }
  write_le16(hw + block::kChecksum, hardware_block_checksum(hw, kHardwareBlockSize));

  uint8_t* sw = tuner.software_block;
  std::memset(sw, 0, kSoftwareBlockSize);
  write_le16(sw + block::kLength, sw::kInitialLength);
  sw[block::kMajorVersion] = 1;
  sw[block::kMinorVersion] = 6;
  sw[block::kVersionByte0] = tuner.parameter_version[0];
  sw[block::kVersionByte1] = tuner.parameter_version[1];
  write_le16(sw + block::kChecksum, software_block_checksum(sw));
}

}  // namespace tmode
