// Log paths, the RAW16 dump, the elapsed-time stamp and the shared records.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "diagnostics/elapsed_stamp.h"
#include "diagnostics/log_paths.h"
#include "diagnostics/log_stream.h"
#include "diagnostics/raw16_table.h"
#include "library/library_state.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/text_shape.h"

namespace tmode {
namespace {

using test::ScratchDir;
using test::WorkingDirectory;

const char* const kTypedDirectories[] = {"RawL2",       "CookL2",    "StrayL2",     "Raw",
                                         "TouchSignal", "Cook",      "Uniformity",  "UTable",
                                         "Unifor_Cook", "TouchInfo", "Unifor_Test", "SatL2",
                                         "Sat"};

class LogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_paths = library.log_paths;
    saved_model = library.model_code;
    saved_ranges = library.ranges;
  }
  void TearDown() override {
    library.log_paths = saved_paths;
    library.model_code = saved_model;
    library.ranges = saved_ranges;
    library.test_raw = {};
  }

  std::vector<std::string> directories(const std::string& path) {
    std::vector<std::string> names;
    if (!std::filesystem::exists(path)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchDir dir;
  WorkingDirectory cwd{dir.path()};
  LogPathSet saved_paths;
  int32_t saved_model = 0;
  ChannelRanges saved_ranges{};
};

TEST_F(LogFiles, UntilAPrefixIsSetEveryLogIsLogCsv) {
  const LogPathSet fresh;
  for (const auto& slot : fresh.slots) EXPECT_STREQ(slot, "Log.csv");
  library.ranges.rx_total = 1;
  library.ranges.tx_total = 1;
  EXPECT_EQ(log_raw16_table(), 0);
  EXPECT_TRUE(test::file_exists(dir.file("Log.csv")));
}

TEST_F(LogFiles, ImageLogPrefixNamesEveryFileAndMakesTheDirectories) {
  library.model_code = 0;
  char text[512] = "ImageLog_A";
  EXPECT_EQ(set_log_file_prefix(0, 0, text), 0);

  ASSERT_TRUE(test::has_shape(text, "./LogFile/ImageLog_A_########_######.csv")) << text;
  const std::string stamp = std::string(text).substr(21, 15);
  EXPECT_STREQ(library.log_paths.slots[kMainLog], text);
  EXPECT_EQ(std::string(library.log_paths.slots[kRawL2Log]),
            "./LogFile/RawL2/ImageLog_A_RawL2_" + stamp + ".csv");
  EXPECT_EQ(std::string(library.log_paths.slots[kUniforTestLog]),
            "./LogFile/Unifor_Test/ImageLog_A_Unifor_Test_" + stamp + ".csv");
  EXPECT_EQ(std::string(library.log_paths.slots[kTouchInfoLog]),
            "./LogFile/TouchInfo/ImageLog_A_TouchInfo_" + stamp + ".csv");

  std::vector<std::string> expected(std::begin(kTypedDirectories), std::end(kTypedDirectories));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(directories("LogFile"), expected);
}

TEST_F(LogFiles, ModelCode12KeepsFourSlots) {
  library.model_code = 12;
  std::strcpy(library.log_paths.slots[kSatLog], "earlier.csv");
  char text[512] = "ImageLog_B";
  set_log_file_prefix(0, 0, text);
  EXPECT_STREQ(library.log_paths.slots[kUniforTestLog], "Log.csv");
  EXPECT_STREQ(library.log_paths.slots[kSatL2Log], "Log.csv");
  EXPECT_STREQ(library.log_paths.slots[kSatLog], "earlier.csv");
  EXPECT_STREQ(library.log_paths.slots[kTouchInfoLog], "Log.csv");
  EXPECT_NE(std::string(library.log_paths.slots[kUniforCookLog]), "Log.csv");
  EXPECT_NE(std::string(library.log_paths.slots[kUTableLog]), "Log.csv");

  const std::vector<std::string> made = directories("LogFile");
  EXPECT_EQ(made.size(), 9u);
  for (const char* kept : {"TouchInfo", "Unifor_Test", "SatL2", "Sat"}) {
    EXPECT_EQ(std::count(made.begin(), made.end(), kept), 0) << kept;
  }
}

TEST_F(LogFiles, OtherPrefixesMakeOnlyTheLogFileDirectory) {
  char text[512] = "Panel";
  set_log_file_prefix(0, 0, text);
  EXPECT_TRUE(std::filesystem::is_directory("LogFile"));
  EXPECT_TRUE(directories("LogFile").empty());
  EXPECT_EQ(std::string(text).rfind("./LogFile/Panel_", 0), 0u) << text;
}

TEST_F(LogFiles, LongPrefixesAreCutAtTheSlotEnd) {
  std::vector<char> text(4000, 'p');
  text.back() = '\0';
  set_log_file_prefix(0, 0, text.data());
  for (const auto& slot : library.log_paths.slots) {
    EXPECT_EQ(strnlen(slot, kLogPathSize), static_cast<size_t>(kLogPathSize - 1));
    EXPECT_EQ(std::string(slot).rfind("./LogFile/", 0), 0u);
  }
  EXPECT_EQ(std::strlen(text.data()), static_cast<size_t>(kLogPathSize - 1));
  EXPECT_EQ(text[kLogPathSize], 'p') << "the caller's buffer gets the path and its zero only";
}

TEST_F(LogFiles, Raw16TableByteForByte) {
  library.ranges.rx_total = 3;
  library.ranges.tx_total = 2;
  const int16_t values[2][3] = {{1, -2, 300}, {4, 5, -32768}};
  for (int t = 0; t < 2; ++t) {
    for (int r = 0; r < 3; ++r) library.test_raw.values[t][r] = values[t][r];
  }
  library.test_raw.values[2][0] = 99;  // beyond tx_total: not printed
  ASSERT_EQ(log_raw16_table(), 0);
  ASSERT_EQ(log_raw16_table(), 0);
  const std::string separator =
      "\r\n" + std::string(24, '/') + "," + std::string(82, '/') + "," + std::string(69, '/') + "\r\n\r\n";
  ASSERT_EQ(separator.size(), 183u);
  const std::string block =
      "\r\nRAW16 DATA\r\n"
      "Rx[ 00 ],1,4\r\n"
      "Rx[ 01 ],-2,5\r\n"
      "Rx[ 02 ],300,-32768\r\n"
      ",Tx[00],Tx[01]," +
      separator;
  EXPECT_EQ(test::read_file("Log.csv"), block + block) << "appended, one block per call";
  EXPECT_EQ(library.log_stream, nullptr) << "no log stays open";
}

TEST_F(LogFiles, Raw16TableRefusesTotalsBeyondTheTable) {
  struct Case {
    int rx;
    int tx;
  };
  for (const Case& c : {Case{173, 1}, Case{1, 133}, Case{-1, 1}, Case{1, -1}}) {
    library.ranges.rx_total = c.rx;
    library.ranges.tx_total = c.tx;
    EXPECT_EQ(log_raw16_table(), -1) << c.rx << " x " << c.tx;
  }
  EXPECT_FALSE(test::file_exists("Log.csv")) << "nothing is written";

  library.ranges.rx_total = 172;
  library.ranges.tx_total = 132;
  EXPECT_EQ(log_raw16_table(), 0);

  std::strcpy(library.log_paths.slots[kMainLog], "./missing/x.csv");
  EXPECT_EQ(log_raw16_table(), -1);
}

TEST(ElapsedStamp, Formats) {
  struct Case {
    int64_t ms;
    const char* text;
  };
  for (const Case& c : {Case{0, " TimeStamp @ 00:00:00.000\n"}, Case{61001, " TimeStamp @ 00:01:01.001\n"},
                        Case{3600000 * 25 + 59999, " TimeStamp @ 25:00:59.999\n"},
                        Case{3600000LL * 1000, " TimeStamp @ 1000:00:00.000\n"}}) {
    char out[64];
    format_elapsed_stamp(out, sizeof out, c.ms);
    EXPECT_STREQ(out, c.text);
  }
}

TEST(ElapsedStamp, ComputesInSixtyFourBits) {
  const clock_t start = 5;
  const clock_t now = static_cast<clock_t>(2000000005);  // a product of 2e12 with 1000
  EXPECT_EQ(elapsed_ms(start, now), 2000000);
  EXPECT_EQ(elapsed_ms(now, start), -2000000);
}

TEST(ElapsedStamp, HoldsAcrossAWrapOfTheCounter) {
  // 500000 ticks up to the largest value, then 1000000 from the smallest.
  const clock_t start = std::numeric_limits<clock_t>::max() - 499999;
  const clock_t now = std::numeric_limits<clock_t>::min() + 1000000;
  EXPECT_EQ(elapsed_ms(start, now), 1500);
  EXPECT_EQ(elapsed_ms(now, start), -1500);
}

TEST(ElapsedStamp, WritesToStandardOutputAndTheTrace) {
  ScratchDir dir;
  FILE* trace = std::fopen(dir.file("trace").c_str(), "w");
  ASSERT_NE(trace, nullptr);
  const std::string out = test::capture_stdout([&] { write_elapsed_stamp(trace, std::clock()); });
  std::fclose(trace);
  EXPECT_TRUE(test::has_shape(out, " TimeStamp @ 00:00:00.###\n")) << out;
  EXPECT_EQ(test::read_file(dir.file("trace")), out);
}

TEST_F(LogFiles, PinnedClockNamesTheLogsAndStampsExactly) {
  library.model_code = 0;
  test::FixedClock clock(1767323045);  // 2026-01-02 03:04:05 UTC
  char text[512] = "Pinned";
  ASSERT_EQ(set_log_file_prefix(0, 0, text), 0);
  EXPECT_STREQ(text, "./LogFile/Pinned_20260102_030405.csv");
  EXPECT_STREQ(library.log_paths.slots[kRawLog], "./LogFile/Raw/Pinned_Raw_20260102_030405.csv");

  const clock_t start = std::clock();
  // Within the 35 minutes a 32-bit clock_t counts before it wraps.
  clock.advance_ms(754567);
  const std::string out = test::capture_stdout([&] { write_elapsed_stamp(nullptr, start); });
  EXPECT_EQ(out, " TimeStamp @ 00:12:34.567\n");
}

TEST(FrameRecords, FrameFitsTables) {
  EXPECT_TRUE(frame_fits_tables(172, 130, 2));
  EXPECT_TRUE(frame_fits_tables(0, 0, 0));
  EXPECT_FALSE(frame_fits_tables(173, 10, 2));
  EXPECT_FALSE(frame_fits_tables(172, 131, 2));
  EXPECT_FALSE(frame_fits_tables(10, -1, 2));
  EXPECT_FALSE(frame_fits_tables(10, 10, -1));
}

TEST(FrameRecords, TouchInformationFields) {
  TouchInfoBlock block{};
  block.bytes[0] = 4;
  block.bytes[3] = 2;
  block.bytes[15] = 0x18;  // -1000
  block.bytes[16] = 0xFC;
  block.bytes[17] = 33;
  block.bytes[21] = 0x10;
  block.bytes[22] = 0x27;  // 10000
  EXPECT_EQ(touch_info_frequency_index(block), 4);
  EXPECT_EQ(touch_info_touch_count(block), 2);
  EXPECT_EQ(touch_info_max_noise(block), -1000);
  EXPECT_EQ(touch_info_max_noise_channel(block), 33);
  EXPECT_EQ(touch_info_water_level(block), 10000);
}

}  // namespace
}  // namespace tmode
