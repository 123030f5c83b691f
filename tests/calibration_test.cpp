// Calibration against the simulated sensing chips, whose measurement A - B
// is Kc x (range + 1) x (256 - gain) / 256.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "library/library_state.h"
#include "maintenance/byte_order.h"
#include "maintenance/parameter_checksums.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/calibration.h"
#include "tuning/frame_capture.h"
#include "tuning/working_tables.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

using test::SimLinkTest;

class Calibration : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    tuner = create_tuner();
    tuner->config.bytes[cfg::kSensingChips] = 2;
    tuner->hardware_block[hw::kSensorConfiguration + cfg::kSensingChips] = 2;
    tuner->params.cal_tolerance1 = 5;
    tuner->params.cal_tolerance2 = 25;
    tuner->params.calibrate_mode = 3;
    tuner->controller_level = 3;  // template A, target 3600
    trace = std::make_unique<test::TunerTrace>(*tuner);
    library.model_code = 0;
  }
  void constant(int k) {
    sim.update([k](sim::ControllerState& s) { s.panel.calibration_constant = k; });
  }
  // The block the searches reload: two chips of 14 lines, one frequency of
  // prescaler 12 with GainB 16 and GainA 9 for every target.
  void raw_data_block() {
    uint8_t* stored = tuner->hardware_block + hw::kSensorConfiguration;
    stored[cfg::kFrequencyCount] = 1;
    stored[cfg::rx_start(0)] = 0;
    stored[cfg::rx_end(0)] = 13;
    stored[cfg::rx_start(1)] = 0;
    stored[cfg::rx_end(1)] = 13;
    const uint8_t targets[] = {3, 5, 8, 10, 15};
    for (int i = 0; i < 5; ++i) stored[cfg::cal_target(2 + i)] = targets[i];
    uint8_t* fb = tuner->hardware_block + hw::frequency_block(0);
    fb[freq::kPrescaler] = 12;
    for (int t = 0; t < kImageChannels; ++t) {
      fb[freq::image_group(t) + freq::kGainB] = 16;
      fb[freq::image_group(t) + freq::kGainA] = 9;
      fb[freq::image_group(t) + freq::kRs] = 15;
    }
    for (int t = 0; t < kImageChannels; ++t) tuner->config.bytes[cfg::cal_target(t)] = stored[cfg::cal_target(t)];
    tuner->params.cal_tolerance3 = 3;
    tuner->hardware_block[hw::kCalVref] = 128;
    tuner->hardware_block[hw::kCalVref + 1] = 128;
  }
  // The mean over targets 1 to 5 of the raw value at each chip's first
  // column (0 and 14) with the chips' CalVref as the block holds them.
  void chip_means(long* means) {
    ASSERT_EQ(load_working_tables(*tuner, 0), 1);
    long sums[2] = {};
    for (int f = 1; f <= 5; ++f) {
      ASSERT_EQ(capture_frame(*tuner, 0, f, tuner->working[0].gain_b[f], false), 1);
      sums[0] += tuner->raw_table[f][0];
      sums[1] += tuner->raw_table[f][14];
    }
    means[0] = sums[0] / 5;
    means[1] = sums[1] / 5;
  }
  std::string trace_text() { return trace->text(); }
  int scans() {
    int n = 0;
    for (const auto& c : sim.received_commands()) n += c[2] == '?' && c[3] == 'D';
    return n;
  }
  TunerPtr tuner;
  std::unique_ptr<test::TunerTrace> trace;
};

TEST_F(Calibration, PassesAtOnceWithTheNominalConstant) {
  struct Case {
    int mode;
    uint8_t range_byte;
  };
  for (const Case c : {Case{3, 14}, Case{1, 15}}) {
    tuner->params.calibrate_mode = static_cast<uint8_t>(c.mode);
    sim.clear_traffic();
    testing::internal::CaptureStdout();
    ASSERT_EQ(calibrate(*tuner, 3600, 2), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(scans(), 20) << "one pair of ten-sample measurements";
    EXPECT_EQ(tuner->cal_vref[0], 128);
    EXPECT_EQ(tuner->cal_range[0], c.range_byte);
    EXPECT_EQ(tuner->hardware_block[hw::kCalVref], 128);
    EXPECT_EQ(tuner->hardware_block[hw::kSensorConfiguration + cfg::cal_vref_range(0)], c.range_byte);
  }
  const std::string text = trace_text();
  EXPECT_EQ(text.rfind("Calibrating... ", 0), 0u);
  EXPECT_NE(text.find("IC NO =0, Range=14, Index=3600, Value=3600, Diff=0, Percentage=0"), std::string::npos) << text;
  EXPECT_NE(text.find("\nGet Calibrating data Success"), std::string::npos);
  EXPECT_NE(text.find("\nCalibration Pass"), std::string::npos);
}

TEST_F(Calibration, BisectsToTheTarget) {
  // 1000 x 8 x (256 - g) / 256: 4000, 2000, 3000, 3500, 3750, 3625, 3562, then 3593 at 141.
  constant(1000);
  testing::internal::CaptureStdout();
  ASSERT_EQ(calibrate(*tuner, 3600, 2), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(tuner->cal_vref[0], 141);
  EXPECT_EQ(scans(), 8 * 20);
  EXPECT_NE(trace_text().find("IC NO =0, Range=14, Index=3600, Value=3593, Diff=7, Percentage=0"), std::string::npos);
}

TEST_F(Calibration, UnreachableTargetFails) {
  // At most 300 x 8 = 2400: the best is 2390 at gain 1 of range 7.
  constant(300);
  tuner->params.calibrate_mode = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate(*tuner, 3600, 2), 0);
  testing::internal::GetCapturedStdout();
  const std::string text = trace_text();
  EXPECT_NE(text.find("IC NO =0, Range=15, Index=3600, Value=2390, Diff=1210 TimeStamp @ "), std::string::npos)
      << text;
  EXPECT_NE(text.find("\nCalibrating Fail... "), std::string::npos);
  EXPECT_EQ(text.find("Calibration Pass"), std::string::npos);
  EXPECT_EQ(tuner->cal_vref[0], 128) << "nothing stored";
}

TEST_F(Calibration, ReferenceMeasurementOnNewerControllers) {
  sim.update([](sim::ControllerState& s) { s.family.features[22] = 1; });
  tuner->controller_level = 7;
  testing::internal::CaptureStdout();
  ASSERT_EQ(calibrate(*tuner, 3600, 2), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(tuner->use_reference_calibration);
  EXPECT_EQ(read_le16(tuner->hardware_block + 396), 247500 / 3600);  // 68
  EXPECT_NE(trace_text().find("\nCalibration Data = 68"), std::string::npos);

  // Equal measurements: no division, nothing stored, a failure.
  constant(0);
  write_le16(tuner->hardware_block + 396, 0x1234);
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate(*tuner, 3600, 2), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(read_le16(tuner->hardware_block + 396), 0x1234);

  // Level 6 with device-information byte 15 below 22 does not use it.
  tuner->controller_level = 6;
  sim.update([](sim::ControllerState& s) { s.family.features[15] = 21; });
  constant(900);
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate(*tuner, 3600, 2), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(tuner->use_reference_calibration);
}

TEST_F(Calibration, StoredInTheControllersHardwareBlock) {
  test::ScratchDir dir;
  test::WorkingDirectory here(dir.path());
  uint8_t* stored = tuner->hardware_block + hw::kSensorConfiguration;
  write_le16(tuner->hardware_block, 2046);
  stored[cfg::cal_vref_range(0)] = 0x01;  // bit 0 kept
  testing::internal::CaptureStdout();
  ASSERT_EQ(calibrate_and_store(*tuner), 0);
  testing::internal::GetCapturedStdout();
  const auto s = sim.state();
  const auto& block = s.parameters.committed[1];
  EXPECT_EQ(block[394], 128);
  EXPECT_EQ(block[8 + 58], 14 | 1);
  EXPECT_EQ(block[8] & 1, 1) << "calibrated";
  EXPECT_EQ(read_le16(&block[8 + 28]), 3000) << "RefRSIndex preset";
  EXPECT_EQ(test::read_file(dir.file("Log.csv")).rfind("FW Model:,", 0), 0u);

  constant(300);
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate_and_store(*tuner), -1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Calibrating Fail...\n"), std::string::npos);
}

TEST_F(Calibration, RawDataSearches) {
  raw_data_block();

  // Neighbouring lines 4 and 5 read alike within 3 / 1000.
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate_vref_pair(*tuner, 0, 5, 0), 1);
  testing::internal::GetCapturedStdout();

  sim.add_fault(sim::row_reads_answer(20));
  tuner->chip_targets[0] = 600;
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate_vref_per_chip(*tuner, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nKQ48IC No.0 Raw Data Error Use Default CalVref\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate_vref_pair(*tuner, 0, 5, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nRaw Data Error Use The Same CalVref");
}

TEST_F(Calibration, PerChipVrefBringsEachChipToItsTarget) {
  raw_data_block();
  // The targets are what chip 0 reads at CalVref 64 and chip 1 at 192: the
  // bisection from 128 moves down for chip 0 and up for chip 1 to reach them.
  long at_gain[2] = {};
  tuner->hardware_block[hw::kCalVref] = 64;
  tuner->hardware_block[hw::kCalVref + 1] = 192;
  chip_means(at_gain);
  long at_128[2] = {};
  tuner->hardware_block[hw::kCalVref] = 128;
  tuner->hardware_block[hw::kCalVref + 1] = 128;
  chip_means(at_128);
  ASSERT_GT(at_gain[0], at_128[0]) << "a lower CalVref reads higher";
  ASSERT_LT(at_gain[1], at_128[1]);
  tuner->chip_targets[0] = static_cast<int16_t>(at_gain[0]);
  tuner->chip_targets[1] = static_cast<int16_t>(at_gain[1]);
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate_vref_per_chip(*tuner, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Calibration Pass\n");
  EXPECT_EQ(tuner->cal_vref[0], 64);
  EXPECT_EQ(tuner->cal_vref[1], 192);
  EXPECT_EQ(tuner->cal_range[0], 15) << "found in range 7";
  EXPECT_EQ(tuner->hardware_block[hw::kCalVref], 64);
  EXPECT_EQ(tuner->hardware_block[hw::kCalVref + 1], 192);

  // Twice what CalVref 0 can give: every range runs down to gain 1, the best
  // gain is kept, and chip 1 is still calibrated.
  tuner->hardware_block[hw::kCalVref] = 128;
  tuner->chip_targets[0] = static_cast<int16_t>(2 * at_gain[0]);
  testing::internal::CaptureStdout();
  EXPECT_EQ(calibrate_vref_per_chip(*tuner, 0), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("KQ48IC No.0 CalVref not in toleranceBest Range = 7, Best Gain = 1, Min Delta = ", 0), 0u)
      << out;
  char target[48];
  std::snprintf(target, sizeof target, ", Target Value = %ld\n", 2 * at_gain[0]);
  EXPECT_NE(out.find(target), std::string::npos) << out;
  EXPECT_EQ(out.find("Calibration Pass"), std::string::npos);
  EXPECT_EQ(tuner->cal_vref[0], 1);
  EXPECT_EQ(tuner->hardware_block[hw::kCalVref], 1);
  EXPECT_EQ(tuner->cal_vref[1], 192);
}

}  // namespace
}  // namespace tmode
