#include <cmath>
#include <cstdio>
#include <memory>

#include "link/file_handle.h"
#include "maintenance/maintenance_state.h"
#include "paramfile/text_files.h"

namespace tmode {

namespace {


FileHandle create_text_file(const Tuner& tuner, const char* path) {
  FILE* file = nullptr;
  if (path != nullptr && path[0] != '\0') file = std::fopen(path, "w");
  if (file == nullptr && tuner.default_parameter_path[0] != '\0') {
    file = std::fopen(tuner.default_parameter_path, "w");
  }
  return FileHandle(file);
}

void section(FILE* out, const char* name) { std::fprintf(out, "[%s]\r\n", name); }
void key(FILE* out, const char* name, int value) { std::fprintf(out, "%s=%d\r\n", name, value); }
void numbered_key(FILE* out, const char* name, int index, int value) {
  std::fprintf(out, "%s%d=%d\r\n", name, index, value);
}

// One group of the frequency block (stray line, noise, virtual key) in the
// export's order: Delay, RS, GainA, GainB, GainD.
void group_keys(FILE* out, const uint8_t* group, const char* delay, const char* rs,
                const char* gain_a, const char* gain_b, const char* gain_d) {
  key(out, delay, group[freq::kDelay]);
  key(out, rs, group[freq::kRs]);
  key(out, gain_a, group[freq::kGainA]);
  key(out, gain_b, group[freq::kGainB]);
  key(out, gain_d, group[freq::kGainD]);
}

void frequency_keys(FILE* out, const uint8_t* fb) {
  key(out, "WorkMode", fb[freq::kWorkMode]);
  key(out, "ClkSource", fb[freq::kClockSource]);
  key(out, "FreqDivider", fb[freq::kDivider]);
  key(out, "FreqPrescaler", fb[freq::kPrescaler]);
  key(out, "ImagePeakNum", fb[freq::kImagePeakCount]);
  key(out, "ImageQMul", fb[freq::kImageQMul]);
  key(out, "ImageScaling", fb[freq::kImageScaling]);
  for (int i = 0; i < kImageChannels; ++i) {
    numbered_key(out, "ImageDelay", i, fb[freq::image_group(i) + freq::kDelay] & 0x7F);
  }
  for (int i = 0; i < kImageChannels; ++i) numbered_key(out, "ImageRS", i, fb[freq::image_group(i) + freq::kRs]);
  for (int i = 0; i < kImageChannels; ++i) {
    numbered_key(out, "ImageGainA", i, fb[freq::image_group(i) + freq::kGainA]);
  }
  for (int i = 0; i < kImageChannels; ++i) {
    numbered_key(out, "ImageGainB", i, fb[freq::image_group(i) + freq::kGainB]);
  }
  for (int i = 0; i < kImageChannels; ++i) {
    numbered_key(out, "ImageGainD", i, fb[freq::image_group(i) + freq::kGainD]);
  }
  key(out, "VKeyRShift", fb[freq::kVKeyRShift]);
  group_keys(out, fb + freq::kVKeyGroup, "VKeyDelay", "VKeyRS", "VKeyGainA", "VKeyGainB", "VKeyGainD");
  key(out, "VKPealNum", fb[freq::kVKeyPeakCount]);
  key(out, "VKQMul", fb[freq::kVKeyQMul]);
  key(out, "SLScaling", fb[freq::kStrayLineScaling]);
  group_keys(out, fb + freq::kStrayLineGroup, "SLDelay", "SLRS", "SLGainA", "SLGainB", "SLGainD");
  key(out, "SLPealNum", fb[freq::kStrayLinePeakCount]);
  key(out, "SLQMul", fb[freq::kStrayLineQMul]);
  key(out, "NoiseScaling", fb[freq::kNoiseScaling]);
  group_keys(out, fb + freq::kNoiseGroup, "NoiseDelay", "NoiseRS", "NoiseGainA", "NoiseGainB",
             "NoiseGainD");
  key(out, "NoisePealNum", fb[freq::kNoisePeakCount]);
  key(out, "NoiseQMul", fb[freq::kNoiseQMul]);
}

}  // namespace

float frequency_block_khz(int cpu_speed, const uint8_t* fb) {
  const int clock = fb[freq::kClockSource];
  float base;
  switch (cpu_speed) {
    case 0: base = 96000.0f / static_cast<float>(clock + 5); break;
    case 1: base = 48000.0f / static_cast<float>(clock + 3); break;
    case 16: base = 120000.0f / static_cast<float>(clock + 7); break;
    case 32: base = 144000.0f / static_cast<float>(clock + 8); break;
    default: base = 72000.0f / static_cast<float>(clock + 4); break;
  }
  const int steps = fb[freq::kPrescaler] * 2 * (fb[freq::kDivider] & 7);
  if (steps == 0) return INFINITY;
  return base / static_cast<float>(steps);
}

int export_hardware_text(Tuner& tuner, const char* path) {
  const uint8_t* block = maintenance_state().images.current_hardware;
  const uint8_t* config = block + hw::kSensorConfiguration;
  const int driving = config[cfg::kDrivingChips];
  const int sensing = config[cfg::kSensingChips];
  const int frequencies = config[cfg::kFrequencyCount];
  if (driving > kMaxDrivingChips || sensing > kMaxSensingChips || frequencies > kMaxFrequencies) {
    return 0;
  }
  const FileHandle file = create_text_file(tuner, path);
  if (!file) return 0;
  FILE* out = file.get();

  section(out, "Sensor configuration");
  key(out, "XDimension", read_le16(config + cfg::kXDimension));
  key(out, "YDimension", read_le16(config + cfg::kYDimension));
  key(out, "NumsOfDrivingChips", driving);
  key(out, "NumsOfSensingChips", sensing);
  for (int chip = 0; chip < kMaxDrivingChips; ++chip) {
    const bool present = chip < driving;
    numbered_key(out, "TXStart", chip, present ? config[cfg::tx_start(chip)] : 0);
    numbered_key(out, "TXEnd", chip, present ? config[cfg::tx_end(chip)] : 0);
  }
  for (int chip = 0; chip < sensing; ++chip) {
    numbered_key(out, "RXStart", chip, config[cfg::rx_start(chip)]);
    numbered_key(out, "RXEnd", chip, config[cfg::rx_end(chip)]);
  }

  section(out, "Frequencies");
  key(out, "NumsOfFreq", frequencies);
  key(out, "WorkingFrequency", config[cfg::kWorkingFrequency]);

  for (int f = 0; f < frequencies; ++f) {
    const uint8_t* fb = block + hw::frequency_block(f);
    char name[16];
    std::snprintf(name, sizeof name, "Freq%d", f);
    section(out, name);
    std::fprintf(out, "; %s = %.2fKHz\n", name,
                 static_cast<double>(frequency_block_khz(config[cfg::kCpuSpeed], fb)));
    if (!tuner.short_layout) frequency_keys(out, fb);
  }
  section(out, "End");
  return 1;
}

int export_model_text(Tuner& tuner, const char* path) {
  const FileHandle file = create_text_file(tuner, path);
  if (!file) return -1;
  FILE* out = file.get();
  const char* model = reinterpret_cast<const char*>(tuner.software_block + sw::kModelNumber);
  const char* firmware = reinterpret_cast<const char*>(tuner.software_block + sw::kFirmwareVersion);
  section(out, "Model Configuration");
  std::fprintf(out, "ModelNum=%.*s\r\n", sw::kModelNumberSize, model);
  std::fprintf(out, "FWVersion=%.*s\r\n", sw::kFirmwareVersionSize, firmware);
  section(out, "Version Information");
  key(out, "MajorVersion", 1);
  key(out, "MinorVersion", 6);
  section(out, "End");
  return 1;
}

}  // namespace tmode
