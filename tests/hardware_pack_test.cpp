// The hardware block and the Tuner's working tables: unpacking, packing,
// the frequency interleaving, loading from the controller and the structure
// versions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "paramfile/hardware_block_pack.h"
#include "paramfile/structure_versions.h"
#include "tests/support/run_program.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using Block = std::vector<uint8_t>;

uint8_t* config_of(Block& block) { return block.data() + hw::kSensorConfiguration; }
uint8_t* frequency_of(Block& block, int f) { return block.data() + hw::frequency_block(f); }

// A block as a controller holds it after tuning: three frequencies with
// their own values, the calibration values a fresh Tuner starts with.
Block tuned_block() {
  TunerPtr tuner = create_tuner();
  Block block(tuner->hardware_block, tuner->hardware_block + kHardwareBlockSize);
  uint8_t* config = config_of(block);
  config[cfg::kFrequencyCount] = 3;
  for (int chip = 0; chip < config[cfg::kSensingChips]; ++chip) config[cfg::cal_vref_range(chip)] = 15;
  write_le16(block.data() + hw::kCalIndex, 3600);
  for (int f = 0; f < 3; ++f) {
    uint8_t* fb = frequency_of(block, f);
    fb[freq::kClockSource] = static_cast<uint8_t>(f + 1);
    fb[freq::kPrescaler] = static_cast<uint8_t>(18 + f);
    fb[freq::kImageScaling] = static_cast<uint8_t>(7 + f);
    for (int i = 0; i < kImageChannels; ++i) {
      uint8_t* group = fb + freq::image_group(i);
      group[freq::kDelay] = static_cast<uint8_t>(20 + i + f);
      group[freq::kGainB] = static_cast<uint8_t>(30 + i);
      group[freq::kGainA] = static_cast<uint8_t>(i + f);
      group[freq::kRs] = static_cast<uint8_t>(15 - i);
    }
  }
  return block;
}

TEST(HardwarePack, UnpackThenPackGivesTheSameBlock) {
  const Block block = tuned_block();
  TunerPtr tuner = create_tuner();
  Block packed = block;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(unpack_hardware_block(*tuner, tuner->config, packed.data()), 1);
    ASSERT_EQ(pack_hardware_block(*tuner, packed.data()), 1);
    EXPECT_EQ(packed, block) << "round " << round;
  }
  EXPECT_EQ(tuner->working[0].image_scaling, 3) << "held 4 below the stored 7";
  EXPECT_EQ(tuner->working[2].rs[0], 0xF0);
}

TEST(HardwarePack, StrayLineScalingKeepsItsValue) {
  Block block = tuned_block();
  frequency_of(block, 1)[freq::kStrayLineScaling] = 6;
  TunerPtr tuner = create_tuner();
  tuner->params.tune_flags = kStrayLineTune;
  ASSERT_EQ(unpack_hardware_block(*tuner, tuner->config, block.data()), 1);
  EXPECT_EQ(tuner->working[1].sl_scaling, 2);
  ASSERT_EQ(pack_hardware_block(*tuner, block.data()), 1);
  EXPECT_EQ(frequency_of(block, 1)[freq::kStrayLineScaling], 6);

  tuner->params.tune_flags = 0;
  tuner->working[1].sl_scaling = 9;
  ASSERT_EQ(pack_hardware_block(*tuner, block.data()), 1);
  EXPECT_EQ(frequency_of(block, 1)[freq::kStrayLineScaling], 6) << "untouched without stray-line tuning";
}

TEST(HardwarePack, ModelGroup1MovesTheFirstReceiveRange) {
  Block block = tuned_block();
  config_of(block)[cfg::rx_start(0)] = 2;
  config_of(block)[cfg::rx_end(0)] = 15;
  TunerPtr tuner = create_tuner();
  tuner->model_group_1 = true;
  ASSERT_EQ(unpack_hardware_block(*tuner, tuner->config, block.data()), 1);
  EXPECT_EQ(tuner->config.bytes[cfg::rx_start(0)], 30);
  EXPECT_EQ(tuner->config.bytes[cfg::rx_end(0)], 43);
  Block packed = block;
  ASSERT_EQ(pack_hardware_block(*tuner, packed.data()), 1);
  EXPECT_EQ(packed, block);
}

TEST(HardwarePack, Interleaving) {
  struct Case {
    const char* name;
    int frequencies;
    uint8_t tune_flags;
    uint8_t file_frequencies;  // working frequencies given in the tuning file
    std::vector<int> sources;  // the working frequency behind each block
  };
  const std::vector<Case> cases = {
      {"five tuned frequencies", 5, kImageTune, 0, {0, 3, 1, 4, 2}},
      {"four", 4, kImageTune, 0, {0, 2, 1, 3}},
      {"three", 3, kImageTune, 0, {0, 2, 1}},
      {"two: too few", 2, kImageTune, 0, {0, 1}},
      {"frequencies from the file", 5, kImageTune, 2, {0, 1, 2, 3, 4}},
      {"image tuning off", 5, kStrayLineTune, 0, {0, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TunerPtr tuner = create_tuner();
    tuner->config.bytes[cfg::kFrequencyCount] = static_cast<uint8_t>(c.frequencies);
    tuner->params.tune_flags = c.tune_flags;
    tuner->params.working_freq_count = c.file_frequencies;
    for (int s = 0; s < kMaxFrequencies; ++s) {
      tuner->working[s].clock_source = static_cast<uint8_t>(100 + s);
      tuner->working[s].prescaler = static_cast<uint8_t>(128 + 20 + s);
      tuner->working[s].gain_d[6] = static_cast<uint8_t>(50 + s);
    }
    Block block(kHardwareBlockSize, 0);
    ASSERT_EQ(pack_hardware_block(*tuner, block.data()), 1);
    for (int f = 0; f < c.frequencies; ++f) {
      const uint8_t* fb = frequency_of(block, f);
      const int s = c.sources[static_cast<size_t>(f)];
      EXPECT_EQ(fb[freq::kClockSource], 100 + s) << "block " << f;
      EXPECT_EQ(fb[freq::kPrescaler], 20 + s) << "bit 7 dropped";
      EXPECT_EQ(fb[freq::image_group(6) + freq::kGainD], 50 + s);
      EXPECT_EQ(fb[freq::kWorkMode], 229);
      EXPECT_EQ(fb[freq::kDivider], 3);
    }
    EXPECT_EQ(frequency_of(block, c.frequencies)[freq::kWorkMode], 0) << "no block beyond the count";
  }
}

TEST(HardwarePack, PackWritesTheResultAndCalibrationValues) {
  TunerPtr tuner = create_tuner();
  tuner->config.bytes[cfg::kSensingChips] = 3;
  tuner->cal_vref[2] = 140;
  tuner->cal_range[2] = 9;
  tuner->cal_vref[3] = 99;  // no fourth sensing chip
  tuner->params.cal_index = 4321;
  tuner->params.image_touch_signal = 0x1234;
  std::strcpy(tuner->run_mode, "run testandtune");
  tuner->result_flags[1] = 7;
  Block block(kHardwareBlockSize, 0);
  ASSERT_EQ(pack_hardware_block(*tuner, block.data()), 1);
  EXPECT_EQ(block[hw::kCalVref + 2], 140);
  EXPECT_EQ(block[hw::kCalVref + 3], 0);
  EXPECT_EQ(config_of(block)[cfg::cal_vref_range(2)], 9);
  EXPECT_EQ(read_le16(block.data() + hw::kCalIndex), 4321);
  EXPECT_EQ(block[63], 0x34) << "TouchSignal takes ImageTouchSignal's low byte";
  EXPECT_EQ(tuner->result_flags[1], 0);
  EXPECT_EQ(tuner->tx_count, 86) << "two driving chips of lines 0 to 42";
  EXPECT_EQ(std::memcmp(config_of(block), tuner->config.bytes, cfg::kTouchSignal), 0);
}

TEST(HardwarePack, CountsBeyondTheBlockAreRefused) {
  struct Case {
    int offset;
    uint8_t value;
  };
  for (const Case& c : {Case{cfg::kDrivingChips, 4}, Case{cfg::kSensingChips, 5},
                        Case{cfg::kFrequencyCount, 11}, Case{cfg::kFrequencyCount, 255}}) {
    SCOPED_TRACE(c.offset);
    Block block = tuned_block();
    config_of(block)[c.offset] = c.value;
    TunerPtr tuner = create_tuner();
    const SensorConfiguration before = tuner->config;
    EXPECT_EQ(unpack_hardware_block(*tuner, tuner->config, block.data()), 0);
    EXPECT_EQ(std::memcmp(tuner->config.bytes, before.bytes, kSensorConfigurationSize), 0);

    tuner->config.bytes[c.offset] = c.value;
    const Block original = block;
    EXPECT_EQ(pack_hardware_block(*tuner, block.data()), 0);
    EXPECT_EQ(block, original);
  }
}

TEST(StructureVersions, ChecksAndPrint) {
  uint8_t record[8] = {};
  EXPECT_EQ(check_hardware_structure_version(record), 1);
  record[5] = 3;
  EXPECT_EQ(check_software_structure_version(record), 1);
  std::string out = test::capture_stdout([&] { EXPECT_EQ(check_hardware_structure_version(record), 0); });
  EXPECT_EQ(out, "HW MajorVersion: 0, MinorVersion: 3\nDon't support this Version of structure...\n");
  record[4] = 1;
  out = test::capture_stdout([&] { EXPECT_EQ(check_software_structure_version(record), 0); });
  EXPECT_EQ(out, "SW MajorVersion: 1, MinorVersion: 3\nDon't support this Version of structure...\n");

  TunerPtr tuner = create_tuner();
  tuner->driver_version[0] = 42;
  tuner->driver_version[1] = 7;
  out = test::capture_stdout([&] { print_structure_versions(*tuner); });
  EXPECT_EQ(out,
            "Tuner : HW 1.3 / SW 1.6\n"
            "\nDevice : HW 1.3 / SW 1.6\n"
            "\nKernel : HW 4.2 / SW 0.7\n");
}

class HardwareFromController : public test::SimLinkTest {};

TEST_F(HardwareFromController, LoadsAndUnpacks) {
  const Block block = tuned_block();
  sim.update([&](sim::ControllerState& s) { s.parameters.working[kHardwareBlock] = block; });
  TunerPtr tuner = create_tuner();
  ASSERT_EQ(load_hardware_block_from_controller(*tuner), 1);
  EXPECT_EQ(Block(tuner->hardware_block, tuner->hardware_block + kHardwareBlockSize), block);
  EXPECT_EQ(std::memcmp(tuner->config.bytes, block.data() + hw::kSensorConfiguration,
                        kSensorConfigurationSize),
            0);
  EXPECT_EQ(tuner->working[2].clock_source, 3);
  EXPECT_EQ(tuner->working[2].image_scaling, 5);
}

TEST_F(HardwareFromController, RefusedBlocksLeaveTheTuner) {
  Block block = tuned_block();
  config_of(block)[cfg::kFrequencyCount] = 12;
  sim.update([&](sim::ControllerState& s) { s.parameters.working[kHardwareBlock] = block; });
  TunerPtr tuner = create_tuner();
  const Block before(tuner->hardware_block, tuner->hardware_block + kHardwareBlockSize);
  EXPECT_EQ(load_hardware_block_from_controller(*tuner), 0);
  EXPECT_EQ(Block(tuner->hardware_block, tuner->hardware_block + kHardwareBlockSize), before);
  EXPECT_EQ(tuner->config.bytes[cfg::kFrequencyCount], 1);
}

}  // namespace
}  // namespace tmode
