#include <cstdio>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/maintenance_state.h"
#include "paramfile/text_files.h"
#include "paramfile/text_import_reader.h"

namespace tmode {

namespace {

enum class Width { kU8, kU16 };

struct Field {
  const char* key;
  int offset;
  Width width;
  int default_value;
};

struct Bit {
  const char* key;
  int bit;
  int default_value;
};

void read_fields(const SectionReader& in, const Field* fields, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const Field& f = fields[i];
    if (f.width == Width::kU16) {
      in.u16(f.offset, f.key, f.default_value);
    } else {
      in.u8(f.offset, f.key, f.default_value);
    }
  }
}

template <size_t N>
void read_fields(const SectionReader& in, const Field (&fields)[N]) {
  read_fields(in, fields, N);
}

// The bits whose keys are non-zero.
template <size_t N>
uint16_t read_bits(const SectionReader& in, const Bit (&bits)[N]) {
  uint16_t word = 0;
  for (const Bit& b : bits) {
    if (in.value(b.key, b.default_value) != 0) word = static_cast<uint16_t>(word | 1u << b.bit);
  }
  return word;
}

constexpr Field kPassivePen[] = {
    {"GroupMassTh", 16, Width::kU16, 80}, {"DeltaTouchTh", 32, Width::kU8, 20},
    {"TouchTh", 33, Width::kU8, 12},      {"CookTouchTh", 34, Width::kU8, 12},
    {"PosthLpcLen", 35, Width::kU8, 0},
};

constexpr Bit kSwapBits[] = {{"SwapXY", 0, 0}, {"SwapX", 1, 0}, {"SwapY", 2, 0}};

// Merged into the flag word of every threshold mode.
constexpr Bit kFeatureBits[] = {
    {"EnableAutoFreq", 0, 0},           {"EnablePhaseLead", 1, 0},
    {"EnableDrawInCompensation", 3, 1}, {"EnableLiftOffCompensation", 4, 1},
    {"EnableRawOffset", 8, 1},          {"EnableDiagnosticFreq", 9, 0},
    {"EnableForceRWK", 12, 1},          {"EnableMarginImprove", 14, 1},
    {"EnableStrayLine", 15, 0},
};

constexpr Field kGeneralCounters[] = {
    {"HidRightClickCnts", 48, Width::kU16, 66}, {"IdleUpdateCnts", 50, Width::kU16, 2000},
    {"VKeyTouchTh", 52, Width::kU16, 600},      {"Vslow", 54, Width::kU16, 70},
    {"Vfast", 56, Width::kU16, 3000},           {"WaterTouchTh", 58, Width::kU16, 10},
    {"NoiseKeepTime", 66, Width::kU16, 3000},   {"DyGroupMassTh", 89, Width::kU8, 10},
    {"PenSlope", 90, Width::kU8, 20},           {"LPC1ExtMass", 91, Width::kU8, 35},
    {"LPC2ExtMass", 92, Width::kU8, 15},        {"LPC1GSizeTh", 93, Width::kU8, 4},
    {"LPC2GSizeTh", 94, Width::kU8, 8},         {"MinAcceleration", 95, Width::kU8, 15},
    {"MaxAcceleration", 96, Width::kU8, 30},    {"NoiseAcceleration", 97, Width::kU8, 15},
    {"HopAcceleration", 98, Width::kU8, 30},    {"MergeDistance", 99, Width::kU8, 8},
    {"ReviewGroupTh", 100, Width::kU8, 7},      {"DownCount", 101, Width::kU8, 0},
    {"DownCountForEdge", 102, Width::kU8, 1},   {"DownCntInMulti", 103, Width::kU8, 2},
    {"DownCntInPen", 104, Width::kU8, 2},       {"DownCntInNoise", 105, Width::kU8, 5},
    {"DownCntInWater", 106, Width::kU8, 2},     {"DownCntInPalm", 107, Width::kU8, 2},
    {"UpCount", 108, Width::kU8, 2},            {"UpCntInNoise", 109, Width::kU8, 5},
    {"SleepCount", 110, Width::kU8, 32},        {"WaterDetectSkipCnt", 111, Width::kU8, 8},
    {"NoiseCntTh", 112, Width::kU8, 3},         {"CheckNoiseTime", 113, Width::kU8, 10},
    {"VKeyDownCount", 114, Width::kU8, 2},      {"VKeyUpCount", 115, Width::kU8, 2},
    {"NumsFingerDisablePen", 116, Width::kU8, 5}, {"RxRawOffsetDiff", 117, Width::kU8, 7},
    {"RxRawOffseTh", 118, Width::kU8, 7},       {"HidCtrl", 120, Width::kU8, 129},
    {"ParamVersion", 121, Width::kU8, 0},       {"MaxReportPoint", 122, Width::kU8, 10},
    {"ReportRateScanTime", 123, Width::kU8, 0}, {"AloneTouchSignalLenTh", 124, Width::kU8, 5},
    {"USBL1WakeUpExtendTime", 125, Width::kU8, 0},
};

constexpr Field kCalibration[] = {
    {"LLX", 144, Width::kU16, 512},  {"LLY", 146, Width::kU16, 3584}, {"ULX", 148, Width::kU16, 512},
    {"ULY", 150, Width::kU16, 512},  {"URX", 152, Width::kU16, 3584}, {"URY", 154, Width::kU16, 512},
    {"LRX", 156, Width::kU16, 3584}, {"LRY", 158, Width::kU16, 3584},
};

constexpr Field kFilter[] = {
    {"SpeedForMinFilter", 160, Width::kU16, 230}, {"FilterSpeedStep", 168, Width::kU8, 15},
    {"MaxFilter", 169, Width::kU8, 28},           {"MinFilter", 170, Width::kU8, 22},
    {"PenFilter", 171, Width::kU8, 27},           {"PhaseLeadLevel", 172, Width::kU8, 4},
    {"SlowMoveTh", 173, Width::kU8, 15},          {"SlowMoveConst", 174, Width::kU8, 7},
    {"FirstDownConstArea", 175, Width::kU8, 10},  {"NormalConstArea", 176, Width::kU8, 0},
    {"PenConst", 177, Width::kU8, 0},             {"ClickRange", 178, Width::kU8, 4},
};

constexpr Field kCompensation[] = {
    {"MarginPosTx0", 192, Width::kU8, 0},       {"MarginPosTxN", 193, Width::kU8, 0},
    {"MarginPosRx0", 194, Width::kU8, 0},       {"MarginPosRxN", 195, Width::kU8, 0},
    {"MarginMassTx0", 196, Width::kU8, 6},      {"MarginMassTxN", 197, Width::kU8, 6},
    {"MarginMassRx0", 198, Width::kU8, 6},      {"MarginMassRxN", 199, Width::kU8, 6},
    {"MarginPosCompTX0T", 200, Width::kU8, 0},  {"MarginPosCompTX0B", 201, Width::kU8, 0},
    {"MarginPosCompTXNT", 202, Width::kU8, 0},  {"MarginPosCompTXNB", 203, Width::kU8, 0},
    {"MarginPosCompRX0L", 204, Width::kU8, 0},  {"MarginPosCompRX0R", 205, Width::kU8, 0},
    {"MarginPosCompRXNL", 206, Width::kU8, 0},  {"MarginPosCompRXNR", 207, Width::kU8, 0},
    {"DrawInOutRange", 208, Width::kU8, 100},   {"DrawInOutSpeed", 209, Width::kU8, 40},
};

// Within a threshold mode; the flag word at 0 is built from the bits below.
constexpr Bit kModeBits[] = {
    {"EnableThickCoverLens", 2, 0},
    {"EnableHoveringPrevent", 5, 0},
    {"EnablePalmRejection", 10, 0},
    {"EnablePassiveStylus", 13, 0},
};

constexpr Field kThresholdMode[] = {
    {"DeltaTouchTh", 2, Width::kU16, 15},         {"CookTouchTh", 6, Width::kU16, 100},
    {"GroupMassTh", 8, Width::kU16, 300},         {"WaterTh", 18, Width::kU16, 75},
    {"WaterTouchDisableTh", 20, Width::kU16, 500}, {"WaterNegativeTh", 22, Width::kU16, 0},
    {"WaterNodeNumsTh", 24, Width::kU16, 0},      {"WaterCookTouchTh", 26, Width::kU16, 100},
    {"RawFlatForStray", 36, Width::kU8, 25},      {"RawFlatForPoint", 37, Width::kU8, 25},
    {"AvgTouchSignal", 50, Width::kU16, 0},       {"CookTouchBase", 52, Width::kU16, 0},
    {"GroupMassBase", 54, Width::kU16, 0},        {"SensitivityLevel", 58, Width::kU8, 0},
};

constexpr uint8_t kSwapMask = 0x07;

void read_software_keys(uint8_t* block) {
  read_fields(SectionReader(block, "Passive Pen Configuration"), kPassivePen);

  const SectionReader general(block, "General Configuration");
  const uint16_t swap = read_bits(general, kSwapBits);
  block[sw::kSwapBits] = static_cast<uint8_t>((block[sw::kSwapBits] & ~kSwapMask) | swap);
  const uint16_t features = read_bits(general, kFeatureBits);
  read_fields(general, kGeneralCounters);

  read_fields(SectionReader(block, "Calibration"), kCalibration);
  read_fields(SectionReader(block, "Filter"), kFilter);
  read_fields(SectionReader(block, "Compensation"), kCompensation);

  for (int mode = 0; mode < sw::kThresholdModes; ++mode) {
    char name[32];
    std::snprintf(name, sizeof name, "Threshold-%d Setting", mode);
    uint8_t* settings = block + sw::threshold_mode(mode);
    const SectionReader in(settings, name);
    write_le16(settings, static_cast<uint16_t>(features | read_bits(in, kModeBits)));
    read_fields(in, kThresholdMode);
  }

  const SectionReader model(block, "Model Configuration");
  model.text(sw::kModelNumber, sw::kModelNumberSize, "ModelNum", "37XX");
  model.text(sw::kFirmwareVersion, sw::kFirmwareVersionSize, "FWVersion", "00_DemoVersion");
  model.u16(sw::kBoardId, "BID", 0);
}

}  // namespace

int import_software_text(Tuner&, const char* path) {
  if (path == nullptr || ini_open(path, false) == nullptr) {
    out_printf("File: %s dose not Exist\n", path != nullptr ? path : "");
    return 0;
  }
  uint8_t block[kSoftwareBlockSize];
  std::memcpy(block, maintenance_state().images.current_software, sizeof block);
  read_software_keys(block);
  ini_close();
  write_le16(block + block::kChecksum, software_block_checksum(block));
  std::memcpy(maintenance_state().images.current_software, block, sizeof block);
  return 1;
}

}  // namespace tmode
