// The firmware stamp record, its write, and the two small queries around it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "link/link.h"
#include "maintenance/firmware_file.h"
#include "maintenance/firmware_queries.h"
#include "maintenance/stamp_record.h"
#include "tests/support/firmware_files.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;

std::vector<uint8_t> record() {
  return {library.stamp_record.bytes, library.stamp_record.bytes + kStampRecordSize};
}

uint16_t field16(int offset) {
  return static_cast<uint16_t>(library.stamp_record.bytes[offset] | library.stamp_record.bytes[offset + 1] << 8);
}

std::string field_text(int offset) {
  const char* at = reinterpret_cast<const char*>(library.stamp_record.bytes + offset);
  return std::string(at, strnlen(at, 8));
}

// A text in a heap block of exactly its size: reads past it show under ASan.
std::vector<char> exact(const std::string& text) { return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1); }

class StampRecordTest : public test::SimLinkTest {
 protected:
  int prepare(const char* text1, const char* text2, const char* text3) {
    return prepare_stamp_record(0x1234, 0xABCD, 7, 8, 9, text1, text2, text3, 0, 0);
  }
  test::TempFiles files;
};

TEST_F(StampRecordTest, BuildsEveryFieldAndWritesTheRecord) {
  test::RecordFilePlan plan;
  plan.main = test::numbered_records(1);
  plan.w2 = 0x0304;
  ASSERT_EQ(load_firmware_file(files.write("fw.bin", test::build_record_file(plan)).c_str()), 0);

  ASSERT_EQ(prepare("Plovex 6300 1A2B panel", "Build Version: 1.02_rc", "plvx_6120v0103_test.bin"), 0);
  EXPECT_EQ(field16(0), 0);
  EXPECT_EQ(field16(stamp::kCallerValue1), 0x1234);
  EXPECT_EQ(field16(stamp::kCallerValue2), 0xABCD);
  EXPECT_EQ(field16(stamp::kFamily), 0x6300);
  EXPECT_EQ(field16(stamp::kFamilyNumber), 0x1A2B);
  EXPECT_EQ(field16(stamp::kVersionNumber), 0x0102);
  EXPECT_EQ(field16(stamp::kFirmwareWord), 0x6310) << "reply bytes 16 and 17 of '6','U'";
  EXPECT_EQ(field16(stamp::kChipNumber), 0x6120);
  EXPECT_EQ(field16(stamp::kFileVersion), 0x0103);
  EXPECT_EQ(field16(stamp::kFinishW2), 0x0304);
  EXPECT_EQ(field_text(stamp::kVersionSuffix), "rc");
  EXPECT_EQ(field_text(stamp::kFileSuffix), "test");
  const std::vector<uint8_t> r = record();
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 36, r.begin() + 39), bytes({7, 8, 9}));
  EXPECT_LT(r[stamp::kTime], 24);
  EXPECT_LT(r[stamp::kTime + 1], 60);
  EXPECT_LT(r[stamp::kTime + 2], 61);
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 42, r.end()), std::vector<uint8_t>(10, 0));
  EXPECT_EQ(sim.received_commands(), std::vector<std::vector<uint8_t>>{bytes({0x03, 0x02, '6', 'U'})});

  ASSERT_EQ(write_stamp_record(), 0);
  const std::vector<uint8_t> written = sim.received_commands().back();
  ASSERT_EQ(written.size(), 56u);
  EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + 4), bytes({0x03, 0x36, ':', 0x0C}));
  EXPECT_EQ(sim.state().firmware.stamp_record, r);
}

TEST_F(StampRecordTest, WithoutTheFamilyMarkerTheControllerIsNotAsked) {
  ASSERT_EQ(prepare("Plovex panel", "no version", "fw.bin"), 0);
  EXPECT_EQ(field16(stamp::kFamilyNumber), 0xFFFF);
  EXPECT_EQ(field16(stamp::kVersionNumber), 0xFFFF);
  EXPECT_EQ(field16(stamp::kFirmwareWord), 0xFFFF);
  EXPECT_EQ(field_text(stamp::kVersionSuffix), "");
  EXPECT_EQ(field16(stamp::kChipNumber), 0);
  EXPECT_EQ(sim.received_count(), 0u);
}

TEST_F(StampRecordTest, TimeUpdateChangesOnlyItsFourBytes) {
  ASSERT_EQ(prepare("Plovex 6300 0001", "Version: 0102-b", "plvx_6120v0103.bin"), 0);
  const std::vector<uint8_t> before = record();
  ASSERT_EQ(prepare_stamp_record(1, 2, 3, 4, 5, nullptr, nullptr, nullptr, 1, 0x5C), 0);
  const std::vector<uint8_t> after = record();
  for (int i = 0; i < kStampRecordSize; ++i) {
    if (i < 42 || i > 45) {
      EXPECT_EQ(after[i], before[i]) << "offset " << i;
    }
  }
  EXPECT_LT(after[42], 24);
  EXPECT_LT(after[43], 60);
  EXPECT_EQ(after[45], 0x5C);
}

TEST_F(StampRecordTest, RefusesUndefinedTextsAndKeepsTheRecord) {
  ASSERT_EQ(prepare("Plovex 6300 0001", "Version: 0102", "plvx_6120v0103.bin"), 0);
  const std::vector<uint8_t> kept = record();
  const std::string long_text(128, 'a');
  EXPECT_EQ(prepare("Plovex 6300 0001", "Build 0102", "fw.bin"), -1) << "marker without \"Version:\"";
  EXPECT_EQ(prepare(long_text.c_str(), "Version: 1", "fw.bin"), -1);
  EXPECT_EQ(prepare("6300", long_text.c_str(), "fw.bin"), -1);
  EXPECT_EQ(prepare("6300", "Version: 1", long_text.c_str()), -1);
  EXPECT_EQ(prepare(nullptr, "Version: 1", "fw.bin"), -1);
  EXPECT_EQ(record(), kept);
  EXPECT_EQ(prepare("6300", "Version: 1", std::string(127, 'a').c_str()), 0) << "127 characters are fine";
}

TEST_F(StampRecordTest, MarkersAtTheEndOfTheirTextsReadNothingBeyond) {
  ASSERT_EQ(prepare(exact("x6300").data(), exact("Version:").data(), exact("6300_").data()), 0);
  EXPECT_EQ(field16(stamp::kFamilyNumber), 0);
  EXPECT_EQ(field16(stamp::kVersionNumber), 0);
  EXPECT_EQ(field_text(stamp::kVersionSuffix), "");
  EXPECT_EQ(field16(stamp::kChipNumber), 0);

  ASSERT_EQ(prepare(exact("6300 9").data(), exact("Version: 0102-abcdefghijkl").data(),
                    exact("plvx_6120v0103_test.bin").data()), 0);
  EXPECT_EQ(field16(stamp::kFamilyNumber), 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(library.stamp_record.bytes + stamp::kVersionSuffix), 8),
            "abcdefgh") << "cut to its 8 bytes";
  EXPECT_EQ(field_text(stamp::kFileSuffix), "test");
}

TEST_F(StampRecordTest, StampWriteWithAWrongAnswerFails) {
  sim.add_fault(sim::wrong_byte(':', 0x0C, 4, 0x00, -1));
  EXPECT_EQ(write_stamp_record(), -1);
  EXPECT_EQ(sim.received_count(), 3u);
}

class FirmwareQueries : public test::SimLinkTest {};

TEST_F(FirmwareQueries, ControllerValueFillsFiveBytes) {
  uint8_t out[kControllerValueBufferSize] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(read_controller_value32(out), 4);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 5), bytes({0x78, 0x56, 0x34, 0x12, 0x00}));
  EXPECT_EQ(sim.received_commands()[0], bytes({0x03, 0x02, '9', 0x03}));

  sim.add_fault(sim::wrong_byte('9', 0x03, 3, 0x04, -1));
  uint8_t kept[kControllerValueBufferSize] = {1, 2, 3, 4, 5};
  EXPECT_EQ(read_controller_value32(kept), -1);
  EXPECT_EQ(std::vector<uint8_t>(kept, kept + 5), bytes({1, 2, 3, 4, 5}));
}

TEST_F(FirmwareQueries, FirmwareWordByKind) {
  EXPECT_EQ(query_firmware_word(5), 0x0102);
  EXPECT_EQ(query_firmware_word(2), 0x6310);
  EXPECT_EQ(query_firmware_word(0), 0x6310);
  sim.update([](sim::ControllerState& s) { s.firmware.firmware_word_reply[14] = 0xFF; });
  EXPECT_EQ(query_firmware_word(2), -1) << "reply byte 18 at 0xFF";
  sim.clear_traffic();
  close_link(0, 0);
  EXPECT_EQ(query_firmware_word(2), -1);
  uint8_t out[kControllerValueBufferSize];
  EXPECT_EQ(read_controller_value32(out), -1);
  EXPECT_EQ(write_stamp_record(), -1);
  usleep(20000);
  EXPECT_EQ(sim.received_count(), 0u);
}

}  // namespace
}  // namespace tmode
