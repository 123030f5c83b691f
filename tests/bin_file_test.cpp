// Binary parameter files: saving, loading and their header.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "paramfile/bin_file.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/text_shape.h"

namespace tmode {
namespace {

using test::ScratchDir;

std::vector<uint8_t> pattern(size_t size, int step, int start) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(static_cast<int>(i) * step + start);
  return bytes;
}

// A file of the given block type: the header fields the loader reads, then
// `block_bytes` bytes of the pattern.
std::vector<uint8_t> bin_file(int block_type, size_t block_bytes, uint32_t header_size = 64) {
  std::vector<uint8_t> file(64, 0);
  file[8] = static_cast<uint8_t>(header_size);
  file[9] = static_cast<uint8_t>(header_size >> 8);
  file[60] = static_cast<uint8_t>(block_type);
  const std::vector<uint8_t> block = pattern(block_bytes, 5, 1);
  file.insert(file.end(), block.begin(), block.end());
  return file;
}

class BinFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    tuner = create_tuner();
    ASSERT_TRUE(tuner);
  }
  void TearDown() override { clear_parameter_images(); }

  std::vector<uint8_t> hardware_image() const {
    return {library.images.current_hardware, library.images.current_hardware + kHardwareBlockSize};
  }
  std::vector<uint8_t> software_image() const {
    return {library.images.current_software, library.images.current_software + kSoftwareBlockSize};
  }

  ScratchDir dir;
  TunerPtr tuner;
};

TEST_F(BinFiles, SavedHardwareFileMatchesTheGoldenHeader) {
  const std::vector<uint8_t> block = pattern(kHardwareBlockSize, 7, 3);
  std::memcpy(library.images.current_hardware, block.data(), block.size());
  std::tm local{};
  local.tm_year = 2016 - 1900;
  local.tm_mon = 6;
  local.tm_mday = 5;
  local.tm_hour = 13;
  local.tm_min = 45;
  local.tm_sec = 2;
  ASSERT_EQ(save_bin_file_at(*tuner, dir.file("hw.bin").c_str(), kHardwareBlock, local), 0);

  const std::vector<uint8_t> file = test::read_bytes(dir.file("hw.bin"));
  ASSERT_EQ(file.size(), 2112u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 64),
            test::read_bytes(test::test_data("hardware_bin_header.golden")));
  std::vector<uint8_t> written = block;
  written[6] = 0;  // the Tuner's parameter version bytes
  written[7] = 1;
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 64, file.end()), written);
  EXPECT_EQ(hardware_image(), written) << "the image carries the version bytes too";
}

TEST_F(BinFiles, SavedFileSizesAndHeaders) {
  ASSERT_EQ(save_hardware_bin_file(*tuner, dir.file("hw.bin").c_str()), 0);
  ASSERT_EQ(save_software_bin_file(*tuner, dir.file("sw.bin").c_str()), 0);
  const std::vector<uint8_t> hw = test::read_bytes(dir.file("hw.bin"));
  const std::vector<uint8_t> sw = test::read_bytes(dir.file("sw.bin"));
  ASSERT_EQ(hw.size(), 2112u);
  ASSERT_EQ(sw.size(), 576u);
  EXPECT_EQ(hw[0] | hw[1] << 8, 2112);
  EXPECT_EQ(sw[0] | sw[1] << 8, 572);
  EXPECT_EQ(hw[60], 1);
  EXPECT_EQ(sw[60], 0);
  const std::string date(reinterpret_cast<const char*>(sw.data() + 28));
  EXPECT_TRUE(test::has_shape(date, "####/##/##,##:##:##")) << date;

  // The file checksum covers header bytes 6 to 63 and the block.
  uint32_t sum = 0x2B9D;
  for (size_t i = 6; i < sw.size(); ++i) sum += sw[i];
  EXPECT_EQ(sw[4] | sw[5] << 8, static_cast<int>(sum & 0xFFFF));
}

TEST_F(BinFiles, SaveFallsBackToTheDefaultPath) {
  const std::string unwritable = dir.file("no/such/dir/hw.bin");
  EXPECT_EQ(save_hardware_bin_file(*tuner, unwritable.c_str()), -1);
  EXPECT_EQ(save_hardware_bin_file(*tuner, nullptr), -1);

  std::snprintf(tuner->default_parameter_path, sizeof tuner->default_parameter_path, "%s",
                dir.file("default.bin").c_str());
  EXPECT_EQ(save_software_bin_file(*tuner, unwritable.c_str()), 0);
  EXPECT_EQ(test::read_bytes(dir.file("default.bin")).size(), 576u);
  EXPECT_EQ(save_hardware_bin_file(*tuner, ""), 0);
  EXPECT_EQ(test::read_bytes(dir.file("default.bin")).size(), 2112u);
}

TEST_F(BinFiles, SaveThenLoadGivesTheImageBack) {
  const std::vector<uint8_t> block = pattern(kSoftwareBlockSize, 3, 9);
  std::memcpy(library.images.current_software, block.data(), block.size());
  ASSERT_EQ(save_software_bin_file(*tuner, dir.file("sw.bin").c_str()), 0);
  const std::vector<uint8_t> saved = software_image();
  clear_parameter_images();
  EXPECT_EQ(load_software_bin_file(*tuner, dir.file("sw.bin").c_str()), 1);
  EXPECT_EQ(software_image(), saved);
}

// The Tuner's version bytes land in bytes 6 and 7 of the saved block; the
// hardware block's checksum covers them (the software block's starts at
// byte 8), so every saved block must still verify, and the file checksum
// must cover the block as written.
TEST_F(BinFiles, SavedBlocksVerifyWithTheTunersVersionBytes) {
  struct Case {
    int block_type;
    uint8_t version[2];
  };
  const Case cases[] = {
      {kHardwareBlock, {7, 9}}, {kHardwareBlock, {0, 1}}, {kHardwareBlock, {0xFF, 0}},
      {kSoftwareBlock, {7, 9}}, {kSoftwareBlock, {0, 1}},
  };
  for (const Case& c : cases) {
    const bool hardware = c.block_type == kHardwareBlock;
    std::memcpy(library.images.current_hardware, tuner->hardware_block, kHardwareBlockSize);
    std::memcpy(library.images.current_software, tuner->software_block, kSoftwareBlockSize);
    ASSERT_TRUE(verify_hardware_block(library.images.current_hardware, kHardwareBlockSize));
    ASSERT_TRUE(verify_software_block(library.images.current_software));
    tuner->parameter_version[0] = c.version[0];
    tuner->parameter_version[1] = c.version[1];

    const std::string path = dir.file("saved.bin");
    const int saved_result = hardware ? save_hardware_bin_file(*tuner, path.c_str())
                                      : save_software_bin_file(*tuner, path.c_str());
    ASSERT_EQ(saved_result, 0);
    const std::vector<uint8_t> file = test::read_bytes(path);
    ASSERT_EQ(file.size(), hardware ? 2112u : 576u);
    const uint8_t* saved = file.data() + 64;
    const std::string label = std::to_string(c.block_type) + ": " + std::to_string(c.version[0]);
    EXPECT_EQ(saved[6], c.version[0]) << label;
    EXPECT_EQ(saved[7], c.version[1]) << label;
    EXPECT_TRUE(hardware ? verify_hardware_block(saved, kHardwareBlockSize) : verify_software_block(saved))
        << label;

    uint32_t sum = 0x2B9D;
    for (size_t i = 6; i < file.size(); ++i) sum += file[i];
    EXPECT_EQ(file[4] | file[5] << 8, sum & 0xFFFF) << label;
  }
}

// A hardware block that did not verify is saved as it is: setting the
// version bytes must not make a damaged block look sound.
TEST_F(BinFiles, DamagedHardwareBlockIsNotSealedBySaving) {
  std::memcpy(library.images.current_hardware, tuner->hardware_block, kHardwareBlockSize);
  library.images.current_hardware[500] ^= 0x10;
  tuner->parameter_version[0] = 3;
  const std::string path = dir.file("hw.bin");
  ASSERT_EQ(save_hardware_bin_file(*tuner, path.c_str()), 0);
  const std::vector<uint8_t> file = test::read_bytes(path);
  ASSERT_EQ(file.size(), 2112u);
  EXPECT_FALSE(verify_hardware_block(file.data() + 64, kHardwareBlockSize));
  EXPECT_EQ(file[64 + 2] | file[64 + 3] << 8, tuner->hardware_block[2] | tuner->hardware_block[3] << 8);
}

TEST_F(BinFiles, Loads) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;  // empty: no file
    bool hardware;              // the loader
    int result;
    const char* message;
    size_t block_bytes_loaded;  // the image's first bytes that come from the file
  };
  const std::vector<Case> cases = {
      {"a whole hardware file", bin_file(1, 2048), true, 1, "", 2048},
      {"a longer hardware file", bin_file(1, 3000), true, 1, "", 2048},
      {"a 1000-byte hardware file", bin_file(1, 936), true, 1, "", 936},
      {"a whole software file", bin_file(0, 512), false, 1, "", 512},
      {"a 64-byte file", bin_file(1, 0), true, 0, "LoadHWBinFile FAIL!\n", 0},
      {"a file shorter than its header", std::vector<uint8_t>(40, 0), false, 0, "LoadSWBinFile FAIL!\n", 0},
      {"a software file to the hardware loader", bin_file(0, 512), true, 0, "", 0},
      {"a hardware file to the software loader", bin_file(1, 2048), false, 0, "", 0},
      {"a header size above 64", bin_file(1, 2048, 65), true, 0, "LoadHWBinFile FAIL!\n", 0},
      {"a huge header size", bin_file(0, 512, 0xFFFF), false, 0, "LoadSWBinFile FAIL!\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_parameter_images();
    std::vector<uint8_t> before = c.hardware ? hardware_image() : software_image();
    test::write_file(dir.file("p.bin"), c.file);
    int result = -1;
    const std::string out = test::capture_stdout([&] {
      result = c.hardware ? load_hardware_bin_file(*tuner, dir.file("p.bin").c_str())
                          : load_software_bin_file(*tuner, dir.file("p.bin").c_str());
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.message);
    std::vector<uint8_t> expected = before;
    std::copy(c.file.begin() + 64, c.file.begin() + 64 + static_cast<long>(c.block_bytes_loaded),
              expected.begin());
    EXPECT_EQ(c.hardware ? hardware_image() : software_image(), expected);
  }
}

TEST_F(BinFiles, FailedLoadsLeaveTheImage) {
  std::memset(library.images.current_hardware, 0xAB, kHardwareBlockSize);
  const std::vector<uint8_t> before = hardware_image();
  const std::string missing = dir.file("missing.bin");
  const std::string out = test::capture_stdout([&] {
    EXPECT_EQ(load_hardware_bin_file(*tuner, missing.c_str()), 0);
    test::write_file(dir.file("short.bin"), bin_file(1, 0));
    EXPECT_EQ(load_hardware_bin_file(*tuner, dir.file("short.bin").c_str()), 0);
  });
  EXPECT_EQ(out, "File: " + missing + " dose not Exist\nLoadHWBinFile FAIL!\n");
  EXPECT_EQ(hardware_image(), before);
}

}  // namespace
}  // namespace tmode
