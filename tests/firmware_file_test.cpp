// Loading firmware record files: what is refused, the extension block and
// how the extra records are spread over the four lists.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "library/library_state.h"
#include "maintenance/firmware_file.h"
#include "tests/support/firmware_files.h"

namespace tmode {
namespace {

using test::build_record_file;
using test::FileBytes;
using test::firmware_record;
using test::numbered_records;
using test::put_le16;
using test::RecordBytes;
using test::RecordFilePlan;
using test::with_bad_checksum;

std::vector<RecordBytes> held(int k) {
  RecordFile& f = library.firmware_file;
  const auto* list = reinterpret_cast<const RecordBytes*>(record_list(f, k));
  return {list, list + f.list_held[k]};
}

class RecordFileLoad : public ::testing::Test {
 protected:
  int load(const FileBytes& bytes) { return load_firmware_file(files.write("firmware.bin", bytes).c_str()); }
  test::TempFiles files;
};

TEST_F(RecordFileLoad, TakesHeaderMainRecordsAndLists) {
  RecordFilePlan plan;
  plan.main = numbered_records(5);
  plan.lists = {numbered_records(2, 100), numbered_records(1, 200), numbered_records(3, 300),
                numbered_records(4, 400)};
  ASSERT_EQ(load(build_record_file(plan)), 0);
  const RecordFile& f = library.firmware_file;
  EXPECT_EQ(f.main_read, 5);
  EXPECT_EQ(f.header.finish_w1, 0x0102);
  EXPECT_EQ(f.header.finish_w2, 0x0304);
  EXPECT_FALSE(f.has_extension);
  EXPECT_EQ(std::memcmp(f.main_records, plan.main.data(), 5 * 36), 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(held(k), plan.lists[k]) << "list " << k + 1;
}

TEST_F(RecordFileLoad, ExtensionBlockOnlyWhenW1IsZero) {
  RecordFilePlan plan;
  plan.main = numbered_records(3);
  plan.extension = true;
  ASSERT_EQ(load(build_record_file(plan)), 0);
  EXPECT_TRUE(library.firmware_file.has_extension);
  EXPECT_EQ(library.firmware_file.extension[3], 0xE3);
  EXPECT_EQ(library.firmware_file.main_read, 3);

  // With W1 set the flag is ignored: the records follow the header directly.
  plan.extension = false;
  FileBytes flagged = build_record_file(plan);
  flagged[35] = 1;
  ASSERT_EQ(load(flagged), 0);
  EXPECT_FALSE(library.firmware_file.has_extension);
  EXPECT_EQ(library.firmware_file.main_read, 3);
}

TEST_F(RecordFileLoad, ShortHeaderLeavesTheRestZero) {
  RecordFilePlan plan;
  plan.main = numbered_records(2);
  plan.header_length = 36;  // up to the extension flag: no lists, no extras
  ASSERT_EQ(load(build_record_file(plan)), 0);
  EXPECT_EQ(library.firmware_file.main_read, 2);
  EXPECT_EQ(library.firmware_file.header.extra_count, 0);
}

struct Refusal {
  const char* what;
  std::function<void(RecordFilePlan&)> describe;
  std::function<void(FileBytes&)> spoil;
};

TEST_F(RecordFileLoad, RefusesBadFilesAndKeepsNothingOfThem) {
  const auto none = [](auto&) {};
  const std::vector<Refusal> cases = {
      {"header length 55", none, [](FileBytes& b) { b[0] = 55; }},
      {"header longer than the file", none, [](FileBytes& b) { b.resize(30); }},
      {"extension block without its 32", [](RecordFilePlan& s) { s.extension = true; s.extension_block[0] = 31; }, none},
      {"extension block cut short", [](RecordFilePlan& s) { s.extension = true; s.lists = {}; },
       [](FileBytes& b) { b.resize(54 + 20); }},
      {"payload size 31", none, [](FileBytes& b) { put_le16(b, 25, 31); }},
      {"payload size 0", none, [](FileBytes& b) { put_le16(b, 25, 0); }},
      {"7169 main records", none, [](FileBytes& b) { put_le16(b, 17, 7169); }},
      {"list 1 of 33", none, [](FileBytes& b) { put_le16(b, 36, 33); }},
      {"list 4 of 65", none, [](FileBytes& b) { put_le16(b, 44, 65); }},
      {"list records with a main count of 0", [](RecordFilePlan& s) { s.main.clear(); }, none},
      {"extra records with a main count of 0",
       [](RecordFilePlan& s) { s.main.clear(); s.lists = {}; s.extras = numbered_records(1, 50); }, none},
      {"main record length byte 33", [](RecordFilePlan& s) { s.main[1] = firmware_record(1, 1, 33); }, none},
      {"list record length byte 33", [](RecordFilePlan& s) { s.lists[2][0] = firmware_record(300, 3, 33); }, none},
      {"main checksum", none, [](FileBytes& b) { ++b[19]; }},
      {"list 3 checksum", none, [](FileBytes& b) { ++b[50]; }},
      {"a main record missing", [](RecordFilePlan& s) { s.lists = {}; }, [](FileBytes& b) { b.resize(b.size() - 36); }},
      // The byte cut off is a zero length byte: counted with the missing byte
      // taken as zero, the partial record would pass every checksum.
      {"a partial last main record", [](RecordFilePlan& s) { s.lists = {}; s.main[3] = firmware_record(3, 3, 0); },
       [](FileBytes& b) { b.pop_back(); }},
      {"a partial last list record", [](RecordFilePlan& s) { s.lists[2][0] = firmware_record(300, 3, 0); },
       [](FileBytes& b) { b.pop_back(); }},
      // The checksum of no records is that of an empty list: only the count
      // tells that list 4's records are missing.
      {"a list without its records", none, [](FileBytes& b) { put_le16(b, 44, 8); }},
  };
  for (const Refusal& c : cases) {
    RecordFilePlan plan;
    plan.main = numbered_records(4);
    plan.lists = {numbered_records(2, 100), {}, numbered_records(1, 300), {}};
    c.describe(plan);
    FileBytes bytes = build_record_file(plan);
    c.spoil(bytes);
    EXPECT_EQ(load(bytes), -1) << c.what;
    EXPECT_EQ(library.firmware_file.main_read, 0) << c.what;
    EXPECT_EQ(library.firmware_file.header.main_count, 0) << c.what;
    EXPECT_EQ(library.firmware_file.list_held[0], 0) << c.what;
  }
  EXPECT_EQ(load_firmware_file(nullptr), -1);
  EXPECT_EQ(load_firmware_file((files.dir() + "/missing.bin").c_str()), -1);
}

TEST_F(RecordFileLoad, MainRecordWithBadChecksumByteStillLoads) {
  // Only the main checksum covers the main records; the transfer checks each.
  RecordFilePlan plan;
  plan.main = numbered_records(4);
  plan.main[2] = with_bad_checksum(plan.main[2]);
  EXPECT_EQ(load(build_record_file(plan)), 0);
}

// The extra records as they lie in the file, and what each list must end up
// holding; the list checksums in the header only add up when it does.
struct Distribution {
  const char* what;
  std::vector<RecordBytes> extras;
  std::array<std::vector<RecordBytes>, 4> lists;
};

TEST_F(RecordFileLoad, SpreadsExtraRecordsOverTheLists) {
  const auto r = [](int n) { return firmware_record(static_cast<uint16_t>(0x100 + n), static_cast<uint8_t>(n)); };
  const RecordBytes bad = with_bad_checksum(r(99));
  const std::vector<Distribution> cases = {
      {"lists in turn", {r(1), r(2), r(3), r(4), r(5), r(6)}, {{{r(1), r(2)}, {r(3)}, {r(4)}, {r(5), r(6)}}}},
      {"bad records skipped", {bad, r(1), bad, r(2), r(3)}, {{{r(1), r(2)}, {r(3)}, {}, {}}}},
      {"list 1 empty: list 2 first", {r(1), r(2), r(3)}, {{{}, {r(1)}, {r(2)}, {r(3)}}}},
      {"lists 1 and 2 empty: the first record goes nowhere", {r(1), r(2), r(3)}, {{{}, {}, {r(2)}, {r(3)}}}},
      {"list 2 empty after list 1 of 2", {r(1), r(2), r(3)}, {{{r(1), r(2)}, {}, {r(3)}, {}}}},
      {"list 3 empty: list 4 after list 2", {r(1), r(2), r(3)}, {{{r(1)}, {r(2)}, {}, {r(3)}}}},
      {"records beyond every list go nowhere", {r(1), r(2), r(3), r(4)}, {{{r(1)}, {r(2)}, {}, {}}}},
  };
  for (const Distribution& c : cases) {
    RecordFilePlan plan;
    plan.main = numbered_records(2);
    plan.lists = c.lists;
    plan.extras = c.extras;
    ASSERT_EQ(load(build_record_file(plan)), 0) << c.what;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(held(k), c.lists[k]) << c.what << ", list " << k + 1;
  }
}

}  // namespace
}  // namespace tmode
