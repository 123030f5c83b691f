// The tuning parameter file: keys, defaults, rules and derived values.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdio>

#include <functional>
#include <string>
#include <vector>

#include "maintenance/parameter_checksums.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tuning/tuning_file.h"

namespace tmode {
namespace {

using test::ScratchDir;

uint16_t config_u16(const Tuner& t, int offset) { return read_le16(t.config.bytes + offset); }

class TuningFile : public ::testing::Test {
 protected:
  TunerPtr load(const std::string& text) {
    test::write_file(dir.file("tune.ini"), text);
    TunerPtr tuner = load_tuning_file(dir.file("tune.ini").c_str());
    EXPECT_TRUE(tuner);
    return tuner;
  }
  ScratchDir dir;
};

TEST_F(TuningFile, MissingFileKeepsTheInitialValues) {
  TunerPtr tuner;
  const std::string path = dir.file("none.ini");
  const std::string out = test::capture_stdout([&] { tuner = load_tuning_file(path.c_str()); });
  EXPECT_EQ(out, "File: " + path + " dose not exist\n");
  ASSERT_TRUE(tuner);
  EXPECT_EQ(config_u16(*tuner, cfg::kXDimension), 3000);
  EXPECT_EQ(config_u16(*tuner, cfg::kYDimension), 2500);
  const TuningParameters& p = tuner->params;
  EXPECT_EQ(p.cal_index, 3600);
  // Initial values where they differ from the defaults of a present file.
  EXPECT_EQ(p.nums_of_freq, 0);
  EXPECT_EQ(p.cal_last_ic, 0);
  EXPECT_EQ(p.tune_flags, 0);
  EXPECT_EQ(p.output_high, 0);
  EXPECT_FALSE(test::file_exists(path)) << "no default file is written";
}

TEST_F(TuningFile, AnEmptyFileGivesTheDefaults) {
  TunerPtr tuner = load("");
  const TuningParameters& p = tuner->params;
  EXPECT_EQ(p.nums_of_freq, 10);
  EXPECT_EQ(p.ignore_nums_of_rx, 2);
  EXPECT_EQ(p.cal_index, 3600);
  EXPECT_EQ(p.cal_tolerance1, 5);
  EXPECT_EQ(p.cal_tolerance2, 25);
  EXPECT_EQ(p.image_signal_low, 35);
  EXPECT_EQ(p.image_signal_high, 50);
  EXPECT_EQ(p.max_signal_high, 70);
  EXPECT_EQ(p.output_high, 100);
  EXPECT_EQ(p.output_low, 100);
  EXPECT_EQ(p.image_touch_signal, 30);
  EXPECT_EQ(p.minimum_measure_time, 7);
  EXPECT_EQ(p.maximum_measure_time, 64);
  EXPECT_EQ(p.tune_flags, kImageTune);
  EXPECT_EQ(p.scaling_start, 3);
  EXPECT_EQ(p.start_rs, 15);
  EXPECT_EQ(p.start_gain_a, 17);
  EXPECT_EQ(p.cal_last_ic, 1);
  EXPECT_EQ(p.calibrate_mode, 3);
  EXPECT_EQ(p.working_freq_count, 0);
  EXPECT_EQ(p.open_test_threshold, 1000);
  EXPECT_EQ(p.short_test_threshold, 30);
  EXPECT_EQ(p.open_base_value, 3000);
  EXPECT_EQ(p.open_test_get_times, 1);
}

struct RuleCase {
  const char* name;
  std::string file;
  std::function<void(const Tuner&)> check;
};

TEST_F(TuningFile, RulesAndDerivedValues) {
  const std::string afe = "[AFE Config]\n";
  const std::vector<RuleCase> cases = {
      {"section with blanks and in lower case", "[  afe config  ]\nCalIndex=4000\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.cal_index, 4000); }},
      {"a tab makes another section", "[\tAFE Config]\nCalIndex=4000\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.cal_index, 3600); }},
      {"key in lower case with blanks", afe + "  calindex  =  4000  \n",
       [](const Tuner& t) { EXPECT_EQ(t.params.cal_index, 4000); }},
      {"nothing after the equals sign", afe + "CalIndex=\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.cal_index, 3600); }},
      {"tolerance out of range", afe + "CalTolerance1=1\nCalTolerance2=101\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.cal_tolerance1, 5);
         EXPECT_EQ(t.params.cal_tolerance2, 25);
       }},
      {"tolerances swapped", afe + "CalTolerance1=30\nCalTolerance2=20\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.cal_tolerance1, 20);
         EXPECT_EQ(t.params.cal_tolerance2, 30);
       }},
      {"signal ratio", afe + "ImageSignalRatio=20\nImageSignalLow=35\nImageSignalHigh=90\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.image_signal_high, 70); }},
      {"signal ratio capped at 50", afe + "ImageSignalRatio=80\nImageSignalLow=3\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.image_signal_ratio, 50);
         EXPECT_EQ(t.params.image_signal_high, 20) << "50 x 3 / 10 = 15, raised to 20";
       }},
      {"signal high raised to 20", afe + "ImageSignalHigh=10\nImageSignalLow=5\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.image_signal_high, 20); }},
      {"signal low capped, then swapped", afe + "ImageSignalLow=160\nImageSignalHigh=40\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.image_signal_low, 40);
         EXPECT_EQ(t.params.image_signal_high, 100);
       }},
      {"signal window swapped", afe + "ImageSignalLow=60\nImageSignalHigh=40\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.image_signal_low, 40);
         EXPECT_EQ(t.params.image_signal_high, 60);
       }},
      {"AD level 50", afe + "AD_Level%=50\nImageSignalLow=1\nImageSignalHigh=99\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.image_signal_high, 64);
         EXPECT_EQ(t.params.image_signal_low, 53);
       }},
      {"AD level 5 is not clamped again", afe + "AD_Level%=5\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.image_signal_high, 6);
         EXPECT_EQ(t.params.image_signal_low, 10);
       }},
      {"signal level sets both outputs", afe + "OutputHigh=300\nSignalLevel=4\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.output_high, 80);
         EXPECT_EQ(t.params.output_low, 80);
       }},
      {"signal level 0 keeps the output", afe + "OutputHigh=300\nSignalLevel=0\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.output_high, 300);
         EXPECT_EQ(t.params.output_low, 300);
       }},
      {"huge signal level wraps to 16 bits", afe + "SignalLevel=2147483647\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.output_high, static_cast<uint16_t>(2147483647u * 20u)); }},
      {"noise resist", afe + "StartRs=9\nNoiseResist=3\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.start_rs, 12); }},
      {"noise resist at the int limit", afe + "NoiseResist=-2147483648\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.start_rs, 15); }},
      {"working frequencies counted", afe + "WorkingFreq2=40\nWorkingFreq7=55\nWorkingFreq8=256\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.working_freq_count, 2);
         EXPECT_EQ(t.params.working_freq[2], 40);
         EXPECT_EQ(t.params.working_freq[7], 55);
       }},
      {"frequencies capped at 10", afe + "NumsOfFreq=12\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.nums_of_freq, 10); }},
      {"scaling start above 4", afe + "ScalingStart=6\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.scaling_start, 2); }},
      {"tune flags", afe + "EnableImageTune=0\nEnableStrayLineTune=1\nEnableCornerTune=1\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.tune_flags, kStrayLineTune | kCornerTune); }},
      {"a key behind the next section header",
       afe + "CalIndex=4100\n[Sensor Test]\nStartGainA=5\nOpenTestFunc=2\n",
       [](const Tuner& t) {
         EXPECT_EQ(t.params.cal_index, 4100);
         EXPECT_EQ(t.params.start_gain_a, 17);
         EXPECT_EQ(t.params.open_test_func, 2u);
       }},
      {"sensor size and targets into the configuration",
       "[Sensor Config]\nXDimension=4096\nYDimension=70000\n" + afe + "CalTarget0=3\nCalTarget6=40\n",
       [](const Tuner& t) {
         EXPECT_EQ(config_u16(t, cfg::kXDimension), 4096);
         EXPECT_EQ(config_u16(t, cfg::kYDimension), 70000 - 65536);
         EXPECT_EQ(t.config.bytes[cfg::cal_target(0)], 3);
         EXPECT_EQ(t.config.bytes[cfg::cal_target(6)], 40);
       }},
      {"a 300-character line", afe + std::string(300, 'x') + "\nCalIndex=4200\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.cal_index, 4200); }},
      {"a 300-character value keeps its first 255 bytes", afe + "CalIndex=" + std::string(246, '0') + "4200\n",
       [](const Tuner& t) { EXPECT_EQ(t.params.cal_index, 0) << "the digits 4200 lie beyond byte 255"; }},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    TunerPtr tuner = load(c.file);
    c.check(*tuner);
  }
}

TEST_F(TuningFile, FreshTunerBlocksCarryValidChecksums) {
  TunerPtr tuner = create_tuner();
  ASSERT_TRUE(tuner);
  EXPECT_TRUE(verify_hardware_block(tuner->hardware_block, kHardwareBlockSize));
  EXPECT_TRUE(verify_software_block(tuner->software_block));
  EXPECT_EQ(read_le16(tuner->hardware_block), 2046);
  EXPECT_EQ(tuner->hardware_block[4], 1);
  EXPECT_EQ(tuner->hardware_block[5], 3);
  EXPECT_EQ(tuner->hardware_block[6], tuner->parameter_version[0]);
  EXPECT_EQ(tuner->hardware_block[7], tuner->parameter_version[1]);
  EXPECT_EQ(read_le16(tuner->software_block), 188);
  EXPECT_EQ(tuner->test_selection, 7u);
}

TEST_F(TuningFile, DestroyingTheTunerClosesItsTrace) {
  TunerPtr tuner = create_tuner();
  ASSERT_TRUE(tuner);
  tuner->log_stream = std::fopen(dir.file("trace.csv").c_str(), "a+");
  ASSERT_NE(tuner->log_stream, nullptr);
  const int fd = fileno(tuner->log_stream);
  tuner.reset();
  EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the trace's descriptor is closed";
}

}  // namespace
}  // namespace tmode
