// The sensor tester's preparation, its log, and the parameter-file
// operations, end to end against the simulated controller.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "maintenance/parameter_images.h"
#include "paramfile/bin_file.h"
#include "sim/parameter_store.h"
#include "tester/parameter_file_operations.h"
#include "tester/tuner_log.h"
#include "tester/tuner_preparation.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

using test::ScratchDir;

constexpr int kSoftware = 0;
constexpr int kHardware = 1;

int le16(const std::vector<uint8_t>& bytes, size_t at) { return bytes[at] | bytes[at + 1] << 8; }

class SensorTesterFiles : public test::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    clear_parameter_images();
  }
  void TearDown() override {
    clear_parameter_images();
    SimLinkTest::TearDown();
  }

  std::vector<uint8_t> block(int type) const { return sim.state().parameters.working[type]; }
  int commits() const { return sim.state().parameters.commits; }

  // Changes a byte of a controller block and seals it again.
  void edit(int type, size_t at, uint8_t value) {
    sim.update([=](sim::ControllerState& s) {
      s.parameters.working[type][at] = value;
      s.parameters.seal(type);
      s.parameters.committed = s.parameters.working;
    });
  }

  // Whether any parameter-block write reached the controller.
  bool any_block_write() const {
    for (const auto& command : sim.received_commands()) {
      if (command.size() >= 4 && command[2] == '?' && (command[3] == 'I' || command[3] == 'K')) return true;
    }
    return false;
  }

  ScratchDir dir;
};

TEST_F(SensorTesterFiles, PreparationSelectsTheAreaAndKeepsTheControllerLevel) {
  sim.update([](sim::ControllerState& s) { s.family.level = {41, 2, 3, 4}; });
  TunerPtr tuner = create_tuner();
  ASSERT_TRUE(tuner);
  sim.clear_traffic();
  prepare_tuner(*tuner);

  const auto commands = sim.received_commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0], test::bytes({3, 4, '?', 'H', 0x00, 0x80}));
  EXPECT_EQ(commands[1], test::bytes({3, 2, '?', 'X'}));
  EXPECT_EQ(tuner->controller_level, 41);
  const uint8_t* stored = library.controller_level_bytes;
  EXPECT_EQ(std::vector<uint8_t>(stored, stored + 4), test::bytes({41, 2, 3, 4}));
}

// Save to a file, change the controller's block, write the file back: the
// controller holds the saved block again, committed.
TEST_F(SensorTesterFiles, BinaryFilesRoundTripThroughTheController) {
  struct Case {
    int type;
    size_t file_size;
    size_t edited_byte;
    int (*save)(int, int, const char*);
    int (*write)(int, int, const char*);
  };
  for (const Case& c : {Case{kHardware, 2112, 500, save_hardware_file, write_hardware_bin_file},
                        Case{kSoftware, 576, 100, save_software_file, write_software_bin_file}}) {
    SCOPED_TRACE(c.type);
    clear_parameter_images();
    const std::string path = dir.file("block" + std::to_string(c.type) + ".bin");
    const std::vector<uint8_t> original = block(c.type);
    ASSERT_EQ(c.save(0, 0, path.c_str()), 0);
    const std::vector<uint8_t> file = test::read_bytes(path);
    ASSERT_EQ(file.size(), c.file_size);
    // Bytes 6 and 7 carry the tuner's parameter version (0, 1).
    std::vector<uint8_t> expected = original;
    expected[6] = 0;
    expected[7] = 1;
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 64, file.end()), expected);

    edit(c.type, c.edited_byte, static_cast<uint8_t>(original[c.edited_byte] ^ 0x5A));
    const int commits_before = commits();
    EXPECT_EQ(c.write(0, 0, path.c_str()), 0);
    EXPECT_EQ(block(c.type)[c.edited_byte], original[c.edited_byte]);
    EXPECT_EQ(commits(), commits_before + 1);
  }
}

TEST_F(SensorTesterFiles, HardwareTextExportWrittenBackKeepsTheNamedFields) {
  const std::string path = dir.file("hardware.ini");
  // XDimension of the controller's sensor configuration (block offset 10).
  edit(kHardware, 10, 0x34);
  edit(kHardware, 11, 0x12);
  ASSERT_EQ(export_hardware_file(0, 0, path.c_str()), 1);
  EXPECT_NE(test::read_file(path).find("XDimension=4660\r\n"), std::string::npos);

  edit(kHardware, 10, 0x00);
  ASSERT_EQ(write_hardware_text_file(0, 0, path.c_str()), 0);
  const std::vector<uint8_t> written = block(kHardware);
  EXPECT_EQ(le16(written, 10), 4660);
  EXPECT_GE(le16(written, 0), 4) << "a block with a length";
  EXPECT_EQ(le16(written, 2), sim::firmware_hardware_checksum(written));
}

TEST_F(SensorTesterFiles, SoftwareTextExportNamesTheControllersModel) {
  const std::string path = dir.file("model.ini");
  sim.update([](sim::ControllerState& s) {
    std::memcpy(s.parameters.working[kSoftware].data() + 224, "Q7AB", 4);
    s.parameters.seal(kSoftware);
  });
  ASSERT_EQ(export_software_file(0, 0, path.c_str()), 1);
  EXPECT_NE(test::read_file(path).find("ModelNum=Q7AB\r\n"), std::string::npos);

  // Written back from text, the software block is well formed.
  ScratchDir other;
  const std::string keys = other.file("software.ini");
  test::write_file(keys, "[Model Configuration]\r\nModelNum=Z9\r\n[Filter]\r\nMaxFilter=31\r\n");
  ASSERT_EQ(write_software_text_file(0, 0, keys.c_str()), 0);
  const std::vector<uint8_t> written = block(kSoftware);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(written.data()) + 224, 3), std::string("Z9\0", 3));
  EXPECT_EQ(written[169], 31);
  EXPECT_GE(le16(written, 0), 4);
  EXPECT_EQ(le16(written, 2), sim::firmware_software_checksum(written));
}

// Files that must not reach the controller: a block whose checksum does not
// match, a cleared block (length 0, checksum 0), a missing file.
TEST_F(SensorTesterFiles, RefusedFilesWriteNothing) {
  const std::string saved = dir.file("software.bin");
  ASSERT_EQ(save_software_file(0, 0, saved.c_str()), 0);
  std::vector<uint8_t> bad_checksum = test::read_bytes(saved);
  bad_checksum[64 + 300] ^= 1;
  test::write_file(dir.file("bad.bin"), bad_checksum);

  std::vector<uint8_t> cleared(64 + 2048, 0);
  cleared[0] = 0x40;  // 2112
  cleared[1] = 0x08;
  cleared[8] = 64;
  cleared[60] = 1;
  test::write_file(dir.file("cleared.bin"), cleared);

  struct Case {
    const char* name;
    int (*write)(int, int, const char*);
  };
  for (const Case& c : {Case{"bad.bin", write_software_bin_file}, Case{"cleared.bin", write_hardware_bin_file},
                        Case{"missing.bin", write_hardware_bin_file},
                        Case{"missing.ini", write_software_text_file}}) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> hardware = block(kHardware), software = block(kSoftware);
    sim.clear_traffic();
    EXPECT_EQ(c.write(0, 0, dir.file(c.name).c_str()), -1);
    EXPECT_FALSE(any_block_write());
    EXPECT_EQ(block(kHardware), hardware);
    EXPECT_EQ(block(kSoftware), software);
  }
}

TEST_F(SensorTesterFiles, TunerLogBannerAndStamp) {
  std::snprintf(library.log_paths.slots[0], sizeof library.log_paths.slots[0], "%s",
                dir.file("main.csv").c_str());
  TunerPtr tuner = create_tuner();
  ASSERT_TRUE(tuner);
  {
    test::FixedClock clock(1767323045);
    const std::string out = test::capture_stdout([&] {
      TunerLogScope log(*tuner);
      EXPECT_TRUE(tuner->log_open);
      open_tuner_log(*tuner);  // already open: unchanged
    });
    EXPECT_EQ(out, " TimeStamp @ 00:00:00.000\n");
  }
  EXPECT_FALSE(tuner->log_open);
  EXPECT_EQ(tuner->log_stream, nullptr);
  EXPECT_EQ(test::read_file(dir.file("main.csv")),
            "TUNER MajorVersion: 0, MinorVersion: 1, Bulid NO: 40, Test2 For Test Only"
            " TimeStamp @ 00:00:00.000\n");

  // A main log that cannot be opened: no stream, the flag still set.
  std::snprintf(library.log_paths.slots[0], sizeof library.log_paths.slots[0], "%s",
                dir.file("missing/main.csv").c_str());
  open_tuner_log(*tuner);
  EXPECT_TRUE(tuner->log_open);
  EXPECT_EQ(tuner->log_stream, nullptr);
  std::snprintf(library.log_paths.slots[0], sizeof library.log_paths.slots[0], "Log.csv");
}

}  // namespace
}  // namespace tmode
