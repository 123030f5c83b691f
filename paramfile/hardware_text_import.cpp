#include <cstdio>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/maintenance_state.h"
#include "paramfile/text_files.h"
#include "paramfile/text_import_reader.h"

namespace tmode {

namespace {

constexpr const char* kSensorConfiguration = "Sensor Configuration";

// Frequency block f of the file's section "Freq<f>".
void read_frequency_block(uint8_t* block, int f) {
  char name[16];
  std::snprintf(name, sizeof name, "Freq%d", f);
  uint8_t* fb = block + hw::frequency_block(f);
  const SectionReader in(fb, name);
  in.u8(freq::kWorkMode, "WorkMode", 229);
  in.u8(freq::kClockSource, "ClkSource", 0);
  in.u8(freq::kDivider, "FreqDivider", 3);
  in.u8(freq::kPrescaler, "FreqPrescaler", 18);
  in.u8(freq::kImagePeakCount, "ImagePeakNum", 0);
  in.u8(freq::kImageQMul, "ImageQMul", 0);
  in.u8(freq::kImageScaling, "ImageScaling", 3);
  struct Family {
    const char* name;
    int at;
    int default_value;
  };
  const Family families[] = {{"ImageDelay", freq::kDelay, 0}, {"ImageRS", freq::kRs, 15},
                             {"ImageGainA", freq::kGainA, 9}, {"ImageGainB", freq::kGainB, 16},
                             {"ImageGainC", freq::kGainC, 0}, {"ImageGainD", freq::kGainD, 2}};
  for (const Family& family : families) {
    for (int i = 0; i < kImageChannels; ++i) {
      in.u8(freq::image_group(i) + family.at, family.name, i, family.default_value);
    }
  }
  for (int i = 0; i < kImageChannels; ++i) fb[freq::image_group(i) + freq::kDelay] &= 0x7F;

  const auto group = [&in](int offset, const char* delay, const char* rs, const char* gain_a,
                           const char* gain_b, const char* gain_c, const char* gain_d,
                           const int (&defaults)[6]) {
    in.u8(offset + freq::kDelay, delay, defaults[0]);
    in.u8(offset + freq::kRs, rs, defaults[1]);
    in.u8(offset + freq::kGainA, gain_a, defaults[2]);
    in.u8(offset + freq::kGainB, gain_b, defaults[3]);
    in.u8(offset + freq::kGainC, gain_c, defaults[4]);
    in.u8(offset + freq::kGainD, gain_d, defaults[5]);
  };
  in.u8(freq::kVKeyRShift, "VKeyRShift", 3);
  group(freq::kVKeyGroup, "VKeyDelay", "VKeyRS", "VKeyGainA", "VKeyGainB", "VKeyGainC", "VKeyGainD",
        {0, 15, 9, 16, 0, 2});
  in.u8(freq::kVKeyPeakCount, "VKPealNum", 0);
  in.u8(freq::kVKeyQMul, "VKQMul", 0);
  in.u8(freq::kStrayLineScaling, "SLScaling", 3);
  group(freq::kStrayLineGroup, "SLDelay", "SLRS", "SLGainA", "SLGainB", "SLGainC", "SLGainD",
        {12, 8, 15, 16, 0, 2});
  in.u8(freq::kStrayLinePeakCount, "SLPealNum", 0);
  in.u8(freq::kStrayLineQMul, "SLQMul", 0);
  in.u8(freq::kNoiseScaling, "NoiseScaling", 3);
  group(freq::kNoiseGroup, "NoiseDelay", "NoiseRS", "NoiseGainA", "NoiseGainB", "NoiseGainC",
        "NoiseGainD", {0, 15, 9, 16, 0, 2});
  in.u8(freq::kNoisePeakCount, "NoisePealNum", 0);
  in.u8(freq::kNoiseQMul, "NoiseQMul", 3);
}

// Every key of the file into the block; false, part way, when a count is
// beyond what the block holds.
bool read_hardware_keys(const Tuner& tuner, uint8_t* block) {
  uint8_t* config = block + hw::kSensorConfiguration;
  const SectionReader in(config, kSensorConfiguration);
  const SectionReader in_block(block, kSensorConfiguration);

  in.u16(cfg::kXDimension, "XDimension", 3000);
  in.u16(cfg::kYDimension, "YDimension", 2500);
  const int driving = in.value("NumsOfDrivingChips", 2);
  const int sensing = in.value("NumsOfSensingChips", 2);
  if (driving < 0 || driving > kMaxDrivingChips || sensing < 0 || sensing > kMaxSensingChips) return false;
  config[cfg::kDrivingChips] = static_cast<uint8_t>(driving);
  config[cfg::kSensingChips] = static_cast<uint8_t>(sensing);
  if (!tuner.short_layout) {
    in.u8(cfg::kTxInStrayLine, "NumsOfTxInSL", 10);
    in.u8(cfg::kOverlapTxInStrayLine, "NumsOfOverlapTxInSL", 0);
  }
  for (int chip = 0; chip < driving; ++chip) {
    in.u8(cfg::tx_start(chip), "TXStart", chip, 0);
    in.u8(cfg::tx_end(chip), "TXEnd", chip, 42);
  }
  for (int chip = 0; chip < sensing; ++chip) {
    in.u8(cfg::rx_start(chip), "RXStart", chip, 0);
    in.u8(cfg::rx_end(chip), "RXEnd", chip, 42);
  }
  in.u8(cfg::kVKeyTxStart, "VKeyTXStart", 0);
  in.u8(cfg::kVKeyTxEnd, "VKeyTXEnd", 0);
  in.u8(cfg::kVKeyRxStart, "VKeyRXStart", 0);
  in.u8(cfg::kVKeyRxEnd, "VKeyRXEnd", 0);
  if (tuner.short_layout) {
    config[cfg::kDiagRxChip] = 0;
    config[cfg::kDiagRxA] = 0;
    config[cfg::kDiagRxB] = 0;
  } else {
    in.u8(cfg::kDiagRxChip, "DiagRXChip", 1);
    in.u8(cfg::kDiagRxA, "DiagRXA", 41);
    in.u8(cfg::kDiagRxB, "DiagRXB", 42);
  }
  in.u8(cfg::kAttr, "Attr", 56);
  for (int i = 0; i < kImageChannels; ++i) in.u8(cfg::cal_target(i), "CalTarget", i, 0);
  for (int chip = 0; chip < sensing; ++chip) in.u16(cfg::r_ratio(chip), "RRatio", chip, 3000);
  in.u16(cfg::kRefRsIndex, "RefRSIndex", 3000);
  for (int chip = 0; chip < sensing; ++chip) {
    in_block.u8(hw::kCalVref + chip, "CalVref", chip, 128);
    in.u8(cfg::cal_vref_range(chip), "CalVrefRange", chip, 15);
  }
  in_block.u16(hw::kCalIndex, "CalIndex", 9200);
  in.u8(cfg::kImageTxGain, "ImageTxGain", 31);
  in.u8(cfg::kStrayLineTxGain, "SLTxGain", 0);
  in.u8(cfg::kVKeyTxGain, "VKeyTxGain", 10);
  in.u8(cfg::kImageWaveSignal, "ImageWaveSignal", 60);
  in.u8(cfg::kStrayLineWaveSignal, "SLWaveSignal", 60);
  in.u8(cfg::kVKeyWaveSignal, "VKeyWaveSignal", 10);
  in.u8(cfg::kNoiseWaveSignal, "NoiseWaveSignal", 60);
  in.u8(cfg::kParamVersion, "ParamVersion", 0);
  in.u8(cfg::kApproachTolerance, "ApproachTolerance", 0);
  in.u8(cfg::kHopFreqSkipCount, "HopFreqSkipCnt", 5);
  in.u8(cfg::kStartSkipCount, "StartSkipCnt", 5);
  in.u16(cfg::kOpenScaling, "OpenScaling", 0);
  in.u16(cfg::kMutualScaling, "MutualScaling", 0);
  in.u8(cfg::kTouchSignal, "TouchSignal", 30);

  const SectionReader other(config, "---Other Param-RD");
  other.u8(cfg::kId1x, "ID1x", 0);
  other.u8(cfg::kId4x, "ID4x", 0);
  other.u8(cfg::kId8x, "ID8x", 3);
  other.u8(cfg::kId16x, "ID16x", 7);

  in.u8(cfg::kCpuSpeed, "Cpu_Speed", 33);
  in.u8(cfg::kCpuHostClock, "Cpu_HostClk", 130);
  in.u8(cfg::kFrequenciesForFinger, "NumsOfFreqForFinger", 0);
  for (int chip = 0; chip < sensing; ++chip) in.u16(cfg::approach_signal(chip), "ApproachSignal", chip, 0);
  in.u8(cfg::kUseExternalPower, "UseExternalPower", 1);
  in.u8(cfg::kStrayUpdateWaitTime, "StrayUpdatWaiteTime", 200);
  in.u8(cfg::kStrayUpdateTime, "StrayUpdatTime", 100);
  in.u8(cfg::kTxOffset, "TxOffset", 242);

  const SectionReader frequencies_section(config, "Frequencies");
  const int frequencies = frequencies_section.value("NumsOfFreq", 0);
  if (frequencies < 0 || frequencies > kMaxFrequencies) return false;
  config[cfg::kFrequencyCount] = static_cast<uint8_t>(frequencies);
  frequencies_section.u8(cfg::kWorkingFrequency, "WorkingFrequency", 0);

  if (!tuner.short_layout) {
    for (int f = 0; f < frequencies; ++f) read_frequency_block(block, f);
  }
  return true;
}

}  // namespace

int import_hardware_text(Tuner& tuner, const char* path) {
  if (path == nullptr || ini_open(path, false) == nullptr) {
    out_printf("File: %s dose not Exist\n", path != nullptr ? path : "");
    return 0;
  }
  uint8_t block[kHardwareBlockSize];
  std::memcpy(block, maintenance_state().images.current_hardware, sizeof block);
  const bool read = read_hardware_keys(tuner, block);
  ini_close();
  if (!read) return 0;
  write_le16(block + block::kChecksum, hardware_block_checksum(block, kHardwareBlockSize));
  std::memcpy(maintenance_state().images.current_hardware, block, sizeof block);
  return 1;
}

}  // namespace tmode
