// Layout of the hardware parameter block (2048 bytes) with its sensor
// configuration and frequency blocks, and of the software parameter block
// (512 bytes). Blocks are byte images; 16-bit fields are little-endian, read
// and written with read_u16 and write_u16 at the offsets named here.
#pragma once

#include <cstdint>

#include "maintenance/parameter_checksums.h"
#include "maintenance/parameter_images.h"

namespace tmode {

inline constexpr int kSensorConfigurationSize = 386;
inline constexpr int kFrequencyBlockSize = 90;
inline constexpr int kMaxFrequencies = 10;
inline constexpr int kImageChannels = 7;  // calibration targets, one group each

// Both blocks start with the length of their meaningful part and a checksum.
namespace block {
inline constexpr int kLength = 0;
inline constexpr int kChecksum = 2;
inline constexpr int kMajorVersion = 4;
inline constexpr int kMinorVersion = 5;
inline constexpr int kVersionByte0 = 6;
inline constexpr int kVersionByte1 = 7;
}  // namespace block

// Offsets within the hardware block.
namespace hw {
inline constexpr int kSensorConfiguration = 8;
inline constexpr int kCalVref = 394;  // one byte per sensing chip
inline constexpr int kCalIndex = 398;
inline constexpr int kFrequencyBlocks = 400;  // kMaxFrequencies blocks of 90 bytes
inline constexpr int kInitialLength = 2046;

constexpr int frequency_block(int f) { return kFrequencyBlocks + kFrequencyBlockSize * f; }
}  // namespace hw

// The sensor configuration, offsets within its 386 bytes. The transmit
// ranges of the driving chips, the receive ranges of the sensing chips and
// the calibration targets overlap in this record: each is reached by its own
// offset rule.
struct SensorConfiguration {
  uint8_t bytes[kSensorConfigurationSize];
};

namespace cfg {
inline constexpr int kAttr = 0;  // bit 0: calibrated
inline constexpr int kXDimension = 2;
inline constexpr int kYDimension = 4;
inline constexpr int kSensingChips = 7;
inline constexpr int kDrivingChips = 8;
inline constexpr int kFrequencyCount = 9;
inline constexpr int kDiagRxChip = 10;
inline constexpr int kDiagRxA = 11;
inline constexpr int kDiagRxB = 12;
inline constexpr int kWorkingFrequency = 13;
constexpr int tx_start(int chip) { return 14 + 2 * chip; }
constexpr int tx_end(int chip) { return 15 + 2 * chip; }
constexpr int rx_start(int chip) { return 18 + 2 * chip; }
constexpr int rx_end(int chip) { return 19 + 2 * chip; }
constexpr int cal_target(int i) { return 20 + i; }
inline constexpr int kRefRsIndex = 28;
constexpr int r_ratio(int chip) { return 30 + 2 * chip; }
inline constexpr int kTxInStrayLine = 38;
inline constexpr int kOverlapTxInStrayLine = 39;
inline constexpr int kImageTxGain = 43;
inline constexpr int kStrayLineTxGain = 44;
inline constexpr int kImageWaveSignal = 45;
inline constexpr int kStrayLineWaveSignal = 46;
inline constexpr int kNoiseWaveSignal = 47;
inline constexpr int kCpuSpeed = 48;
inline constexpr int kCpuHostClock = 49;
inline constexpr int kApproachTolerance = 50;
inline constexpr int kParamVersion = 51;
inline constexpr int kHopFreqSkipCount = 52;
inline constexpr int kStartSkipCount = 53;
inline constexpr int kFrequenciesForFinger = 54;
inline constexpr int kTouchSignal = 55;
constexpr int cal_vref_range(int chip) { return 58 + chip; }
inline constexpr int kUseExternalPower = 62;
inline constexpr int kStrayUpdateWaitTime = 63;
inline constexpr int kStrayUpdateTime = 64;
inline constexpr int kTxOffset = 65;
constexpr int approach_signal(int chip) { return 66 + 2 * chip; }
inline constexpr int kVKeyTxStart = 74;
inline constexpr int kVKeyTxEnd = 75;
inline constexpr int kVKeyRxStart = 76;
inline constexpr int kVKeyRxEnd = 77;
inline constexpr int kOpenScaling = 78;
inline constexpr int kMutualScaling = 80;
inline constexpr int kVKeyTxGain = 82;
inline constexpr int kVKeyWaveSignal = 83;
inline constexpr int kId1x = 111;
inline constexpr int kId4x = 112;
inline constexpr int kId8x = 113;
inline constexpr int kId16x = 114;
}  // namespace cfg

// One frequency block, offsets within its 90 bytes. Each image channel has
// a group of six bytes: Delay, GainB, GainA, RS, GainC, GainD.
struct FrequencyBlock {
  uint8_t bytes[kFrequencyBlockSize];
};

namespace freq {
inline constexpr int kWorkMode = 0;
inline constexpr int kClockSource = 1;
inline constexpr int kDivider = 2;
inline constexpr int kPrescaler = 3;
inline constexpr int kImageScaling = 5;
inline constexpr int kStrayLineScaling = 8;
inline constexpr int kNoiseScaling = 10;
inline constexpr int kVKeyRShift = 12;
constexpr int image_group(int channel) { return 13 + 6 * channel; }
inline constexpr int kStrayLineGroup = 55;
inline constexpr int kNoiseGroup = 61;
inline constexpr int kVKeyGroup = 67;
// Within a group of six.
inline constexpr int kDelay = 0;
inline constexpr int kGainB = 1;
inline constexpr int kGainA = 2;
inline constexpr int kRs = 3;
inline constexpr int kGainC = 4;
inline constexpr int kGainD = 5;
inline constexpr int kImagePeakCount = 75;
inline constexpr int kStrayLinePeakCount = 76;
inline constexpr int kNoisePeakCount = 77;
inline constexpr int kVKeyPeakCount = 78;
inline constexpr int kImageQMul = 79;
inline constexpr int kStrayLineQMul = 80;
inline constexpr int kNoiseQMul = 81;
inline constexpr int kVKeyQMul = 82;
}  // namespace freq

// Offsets within the software block.
namespace sw {
inline constexpr int kInitialLength = 188;
inline constexpr int kSwapBits = 119;
inline constexpr int kModelNumber = 224;
inline constexpr int kModelNumberSize = 4;
inline constexpr int kFirmwareVersion = 228;
inline constexpr int kFirmwareVersionSize = 14;
inline constexpr int kBoardId = 242;
constexpr int threshold_mode(int mode) { return 256 + 64 * mode; }
inline constexpr int kThresholdModes = 3;
}  // namespace sw

}  // namespace tmode
