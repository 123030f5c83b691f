// Parameter text files: the exports against their golden files, the
// imports' keys, defaults and refusals, and an export-import round trip.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "paramfile/bin_file.h"
#include "paramfile/text_files.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"

namespace tmode {
namespace {

using test::ScratchDir;
using Block = std::vector<uint8_t>;

class TextFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    tuner = create_tuner();
    ASSERT_TRUE(tuner);
  }
  void TearDown() override { clear_parameter_images(); }

  void set_hardware(const Block& block) {
    std::memcpy(library.images.current_hardware, block.data(), kHardwareBlockSize);
  }
  Block hardware() const {
    return {library.images.current_hardware, library.images.current_hardware + kHardwareBlockSize};
  }
  Block software() const {
    return {library.images.current_software, library.images.current_software + kSoftwareBlockSize};
  }
  std::string export_hardware() {
    EXPECT_EQ(export_hardware_text(*tuner, dir.file("hw.txt").c_str()), 1);
    return test::read_file(dir.file("hw.txt"));
  }
  int import_hardware(const std::string& text) {
    test::write_file(dir.file("in.txt"), text);
    return import_hardware_text(*tuner, dir.file("in.txt").c_str());
  }
  int import_software(const std::string& text) {
    test::write_file(dir.file("in.txt"), text);
    return import_software_text(*tuner, dir.file("in.txt").c_str());
  }

  ScratchDir dir;
  TunerPtr tuner;
};

TEST_F(TextFiles, HardwareExportMatchesItsGoldenFiles) {
  set_hardware(test::read_bytes(test::test_data("hardware_export.block")));
  EXPECT_EQ(export_hardware(), test::read_file(test::test_data("hardware_export.txt")));
  tuner->short_layout = true;
  EXPECT_EQ(export_hardware(), test::read_file(test::test_data("hardware_export_short.txt")));
}

TEST_F(TextFiles, ModelExportMatchesItsGoldenFile) {
  uint8_t* sw = tuner->software_block;
  std::memcpy(sw + sw::kModelNumber, "AB12", 4);
  std::memcpy(sw + sw::kFirmwareVersion, "6300.1.02-rc77", 14);
  sw[sw::kBoardId] = 'Z';  // right behind the unterminated version text
  ASSERT_EQ(export_model_text(*tuner, dir.file("model.txt").c_str()), 1);
  EXPECT_EQ(test::read_file(dir.file("model.txt")), test::read_file(test::test_data("model_export.txt")));
}

TEST_F(TextFiles, ExportsWithoutAFile) {
  const std::string unwritable = dir.file("no/dir/x.txt");
  EXPECT_EQ(export_hardware_text(*tuner, unwritable.c_str()), 0);
  EXPECT_EQ(export_model_text(*tuner, unwritable.c_str()), -1);
  EXPECT_EQ(export_model_text(*tuner, nullptr), -1);
  std::snprintf(tuner->default_parameter_path, sizeof tuner->default_parameter_path, "%s",
                dir.file("default.txt").c_str());
  EXPECT_EQ(export_model_text(*tuner, unwritable.c_str()), 1);
  EXPECT_TRUE(test::file_exists(dir.file("default.txt")));
}

TEST_F(TextFiles, HardwareExportRefusesCountsBeyondTheBlock) {
  struct Case {
    int offset;
    uint8_t value;
  };
  for (const Case& c : {Case{cfg::kDrivingChips, 4}, Case{cfg::kSensingChips, 5}, Case{cfg::kFrequencyCount, 11},
                        Case{cfg::kFrequencyCount, 200}}) {
    Block block = test::read_bytes(test::test_data("hardware_export.block"));
    block[hw::kSensorConfiguration + c.offset] = c.value;
    set_hardware(block);
    EXPECT_EQ(export_hardware_text(*tuner, dir.file("refused.txt").c_str()), 0) << c.offset;
    EXPECT_FALSE(test::file_exists(dir.file("refused.txt")));
  }
}

TEST_F(TextFiles, FrequencyOfABlock) {
  struct Case {
    int cpu_speed;
    uint8_t clock, divider, prescaler;
    float khz;
  };
  for (const Case& c : {Case{33, 0, 3, 18, 166.666672f}, Case{0, 0, 1, 12, 800.0f},
                        Case{1, 1, 3, 12, 166.666672f}, Case{16, 3, 2, 25, 120.0f},
                        Case{32, 0, 11, 18, 166.666672f}}) {
    uint8_t fb[kFrequencyBlockSize] = {};
    fb[freq::kClockSource] = c.clock;
    fb[freq::kDivider] = c.divider;
    fb[freq::kPrescaler] = c.prescaler;
    EXPECT_FLOAT_EQ(frequency_block_khz(c.cpu_speed, fb), c.khz) << c.cpu_speed;
  }
  uint8_t fb[kFrequencyBlockSize] = {};
  fb[freq::kDivider] = 3;
  EXPECT_TRUE(std::isinf(frequency_block_khz(33, fb)));
  fb[freq::kPrescaler] = 18;
  fb[freq::kDivider] = 8;  // only the low three bits count
  EXPECT_TRUE(std::isinf(frequency_block_khz(33, fb)));
}

TEST_F(TextFiles, ExportImportRoundTrip) {
  const Block original = test::read_bytes(test::test_data("hardware_export.block"));
  set_hardware(original);
  const std::string text = export_hardware();
  clear_parameter_images();
  ASSERT_EQ(import_hardware_text(*tuner, dir.file("hw.txt").c_str()), 1);
  EXPECT_TRUE(verify_hardware_block(library.images.current_hardware, kHardwareBlockSize));
  EXPECT_EQ(export_hardware(), text);
  const Block imported = hardware();
  EXPECT_EQ(imported[hw::frequency_block(0) + freq::image_group(3)], 15) << "bit 7 of a delay is not kept";
  EXPECT_EQ(imported[hw::frequency_block(1) + freq::image_group(2) + freq::kGainC], 0)
      << "GainC is not exported: it takes its default";
}

TEST_F(TextFiles, HardwareImportDefaultsAndKeys) {
  std::memset(library.images.current_hardware, 0xEE, kHardwareBlockSize);
  ASSERT_EQ(import_hardware(
                "[sensor configuration]\n"
                "NumsOfSensingChips=3\nNumsOfDrivingChips=1\nRXStart2=7\nCalVref2=140\nCalVrefRange1=9\n"
                "CalIndex=7000\nApproachSignal2=513\nRRatio1=2900\n"
                "[---Other Param-RD]\nID4x=2\n"
                "[Frequencies]\nNumsOfFreq=1\n"
                "[Freq0]\nImageGainC6=77\nImageDelay1=200\nNoiseQMul=4\nVKeyGainC=5\n"),
            1);
  const Block b = hardware();
  const auto config = [&b](int offset) { return b[hw::kSensorConfiguration + offset]; };
  const auto config16 = [&b](int offset) { return read_le16(b.data() + hw::kSensorConfiguration + offset); };
  const uint8_t* f0 = b.data() + hw::frequency_block(0);
  struct Case {
    const char* what;
    int actual;
    int expected;
  };
  const std::vector<Case> cases = {
      {"XDimension default", config16(cfg::kXDimension), 3000},
      {"Attr default", config(cfg::kAttr), 56},
      {"sensing chips", config(cfg::kSensingChips), 3},
      {"TXEnd0 default", config(cfg::tx_end(0)), 42},
      // The receive ranges of further sensing chips share their bytes with
      // the calibration targets, which are read later.
      {"RXStart2 as CalTarget2", config(cfg::rx_start(2)), 0},
      {"CalVref2", b[hw::kCalVref + 2], 140},
      {"CalVref3: no fourth chip", b[hw::kCalVref + 3], 0xEE},
      {"CalVrefRange1", config(cfg::cal_vref_range(1)), 9},
      {"CalIndex", read_le16(b.data() + hw::kCalIndex), 7000},
      {"RRatio1", config16(cfg::r_ratio(1)), 2900},
      {"ApproachSignal2", config16(cfg::approach_signal(2)), 513},
      {"ID4x", config(cfg::kId4x), 2},
      {"ID16x default", config(cfg::kId16x), 7},
      {"TxOffset default", config(cfg::kTxOffset), 242},
      {"DiagRXA default", config(cfg::kDiagRxA), 41},
      {"an unlisted byte keeps its value", config(1), 0xEE},
      {"frequency count", config(cfg::kFrequencyCount), 1},
      {"WorkMode default", f0[freq::kWorkMode], 229},
      {"ImageGainC6", f0[freq::image_group(6) + freq::kGainC], 77},
      {"ImageDelay1 in 7 bits", f0[freq::image_group(1) + freq::kDelay], 200 & 0x7F},
      {"ImageRS0 default", f0[freq::image_group(0) + freq::kRs], 15},
      {"SL RS default", f0[freq::kStrayLineGroup + freq::kRs], 8},
      {"NoiseQMul", f0[freq::kNoiseQMul], 4},
      {"VKeyGainC", f0[freq::kVKeyGroup + freq::kGainC], 5},
      {"frequency block 1 untouched", b[hw::frequency_block(1)], 0xEE},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
  EXPECT_EQ(read_le16(b.data() + 2), hardware_block_checksum(b.data(), kHardwareBlockSize))
      << "the checksum is stored";
}

TEST_F(TextFiles, HardwareImportShortLayout) {
  std::memset(library.images.current_hardware, 0xEE, kHardwareBlockSize);
  tuner->short_layout = true;
  ASSERT_EQ(import_hardware("[Sensor Configuration]\nDiagRXA=30\n[Frequencies]\nNumsOfFreq=2\n"), 1);
  const Block b = hardware();
  EXPECT_EQ(b[hw::kSensorConfiguration + cfg::kTxInStrayLine], 0xEE);
  EXPECT_EQ(b[hw::kSensorConfiguration + cfg::kDiagRxA], 0);
  EXPECT_EQ(b[hw::kSensorConfiguration + cfg::kFrequencyCount], 2);
  EXPECT_EQ(b[hw::frequency_block(0)], 0xEE) << "no frequency section is read";
}

TEST_F(TextFiles, HardwareImportRefusesCountsBeyondTheBlock) {
  const Block original = test::read_bytes(test::test_data("hardware_export.block"));
  for (const char* text : {"[Sensor Configuration]\nNumsOfDrivingChips=4\n",
                           "[Sensor Configuration]\nNumsOfSensingChips=5\n",
                           "[Sensor Configuration]\nNumsOfSensingChips=260\n",
                           "[Sensor Configuration]\nNumsOfDrivingChips=-1\n", "[Frequencies]\nNumsOfFreq=11\n"}) {
    set_hardware(original);
    EXPECT_EQ(import_hardware(text), 0) << text;
    EXPECT_EQ(hardware(), original) << text;
    EXPECT_EQ(library.ini.file, nullptr) << "the file is closed";
  }
}

TEST_F(TextFiles, MissingFilesAreNotImported) {
  const std::string missing = dir.file("missing.txt");
  const std::string out = test::capture_stdout([&] {
    EXPECT_EQ(import_hardware_text(*tuner, missing.c_str()), 0);
    EXPECT_EQ(import_software_text(*tuner, missing.c_str()), 0);
  });
  EXPECT_EQ(out, "File: " + missing + " dose not Exist\nFile: " + missing + " dose not Exist\n");
}

TEST_F(TextFiles, SoftwareImportDefaults) {
  std::memset(library.images.current_software, 0xEE, kSoftwareBlockSize);
  ASSERT_EQ(import_software(""), 1);
  const Block b = software();
  struct Case {
    int offset;
    int width;
    int expected;
  };
  const std::vector<Case> cases = {
      {16, 2, 80},    {32, 1, 20},    {35, 1, 0},     {48, 2, 66},      {58, 2, 10},   {66, 2, 3000},
      {89, 1, 10},    {101, 1, 0},    {110, 1, 32},   {118, 1, 7},      {120, 1, 129}, {125, 1, 0},
      {144, 2, 512},  {158, 2, 3584}, {160, 2, 230},  {168, 1, 15},     {178, 1, 4},   {192, 1, 0},
      {196, 1, 6},    {207, 1, 0},    {208, 1, 100},  {209, 1, 40},     {242, 2, 0},
      // Threshold modes: the flag word holds the default feature bits.
      {256, 2, 0x5118}, {258, 2, 15}, {262, 2, 100}, {264, 2, 300},   {274, 2, 75},  {282, 2, 100},
      {292, 1, 25},   {293, 1, 25},   {306, 2, 0},    {314, 1, 0},      {320, 2, 0x5118}, {384, 2, 0x5118},
      // Bytes no key names keep their value.
      {0, 1, 0xEE},   {36, 1, 0xEE},  {126, 1, 0xEE}, {260, 1, 0xEE},   {450, 1, 0xEE},
  };
  for (const Case& c : cases) {
    const int actual = c.width == 2 ? read_le16(b.data() + c.offset) : b[static_cast<size_t>(c.offset)];
    EXPECT_EQ(actual, c.expected) << "offset " << c.offset;
  }
  EXPECT_EQ(b[119], 0xE8) << "the swap bits cleared, the others kept";
  EXPECT_EQ(std::string(b.begin() + 224, b.begin() + 242), std::string("37XX00_DemoVersion"));
  EXPECT_EQ(read_le16(b.data() + 2), software_block_checksum(b.data()));
}

TEST_F(TextFiles, SoftwareImportKeys) {
  ASSERT_EQ(import_software("[General Configuration]\nSwapX=1\nSwapY=4\nEnableRawOffset=0\nEnableAutoFreq=1\n"
                            "Vfast=70000\n"
                            "[Threshold-1 Setting]\nEnablePalmRejection=1\nSensitivityLevel=3\n"
                            "[model configuration]\nModelNum=ABCDEFG\nFWVersion=0123456789abcdefghij\nBID=513\n"),
            1);
  const Block b = software();
  EXPECT_EQ(b[119], 0x06);
  const int features = 0x5118 - 0x100 + 0x01;
  EXPECT_EQ(read_le16(b.data() + 256), features);
  EXPECT_EQ(read_le16(b.data() + 320), features | 0x400);
  EXPECT_EQ(read_le16(b.data() + 384), features);
  EXPECT_EQ(b[320 + 58], 3);
  EXPECT_EQ(read_le16(b.data() + 56), 70000 - 65536);
  EXPECT_EQ(std::string(b.begin() + 224, b.begin() + 242), std::string("ABCD0123456789abcd"))
      << "ModelNum fills its 4 bytes exactly, FWVersion is cut at 14";
  EXPECT_EQ(read_le16(b.data() + 242), 513);

  ASSERT_EQ(import_software("[Model Configuration]\nModelNum=AB\nFWVersion=v1\n"), 1);
  const Block short_texts = software();
  EXPECT_EQ(std::string(short_texts.begin() + 224, short_texts.begin() + 232), std::string("AB\0\0v1\0\0", 8));
}

TEST_F(TextFiles, ImportedSoftwareBlockExportsItsModel) {
  ASSERT_EQ(import_software("[Model Configuration]\nModelNum=AB12\nFWVersion=6300.1.02-rc77\n"), 1);
  std::memcpy(tuner->software_block, library.images.current_software, kSoftwareBlockSize);
  ASSERT_EQ(export_model_text(*tuner, dir.file("model.txt").c_str()), 1);
  EXPECT_EQ(test::read_file(dir.file("model.txt")), test::read_file(test::test_data("model_export.txt")));
}

}  // namespace
}  // namespace tmode
