// Firmware packages: loading versions 1 and 2, refusals, invalid blocks, the
// transfer and the finishing report.
#include <gtest/gtest.h>

#include <functional>

#include "library/library_state.h"
#include "maintenance/firmware_package.h"
#include "tests/support/firmware_files.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::build_package;
using test::bytes;
using test::FileBytes;
using test::firmware_record;
using test::numbered_records;
using test::record_command;
using test::PackagePlan;
using test::put_le16;
using test::RecordBytes;
using test::with_bad_checksum;

class Package : public test::SimLinkTest {
 protected:
  int load(const FileBytes& file) { return load_firmware_package(files.write("package.bin", file).c_str()); }
  test::TempFiles files;
};

TEST_F(Package, Version1LoadsSendsAndFinishes) {
  PackagePlan plan;
  plan.main = numbered_records(6);
  ASSERT_EQ(load(build_package(plan)), 0);
  const FirmwarePackage& p = library.firmware_package;
  EXPECT_EQ(p.version, 1);
  EXPECT_EQ(p.main_count, 6);
  EXPECT_EQ(std::vector<uint8_t>(p.identity_record, p.identity_record + 10),
            std::vector<uint8_t>(plan.identity.begin(), plan.identity.end()));

  ASSERT_EQ(send_firmware_package(), 0);
  const auto received = sim.received_commands();
  ASSERT_EQ(received.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(received[i], record_command(plan.main[i])) << i;

  ASSERT_EQ(finish_firmware_package(), 0);
  EXPECT_EQ(sim.received_commands().back(), bytes({0x03, 0x06, ':', 0x05, 0xC0, 0x00, 0x21, 0x43}));
}

TEST_F(Package, FinishCarries32TimesTheRecordCount) {
  PackagePlan plan;
  plan.main = numbered_records(100);
  ASSERT_EQ(load(build_package(plan)), 0);
  ASSERT_EQ(finish_firmware_package(), 0);
  const auto finish = sim.received_commands().back();
  EXPECT_EQ(finish[4], 0x80);
  EXPECT_EQ(finish[5], 0x0C);
}

TEST_F(Package, FinishWithAWrongAnswerFails) {
  sim.add_fault(sim::wrong_byte(':', 0x05, 4, 0x00, -1));
  EXPECT_EQ(finish_firmware_package(), -1);
  EXPECT_EQ(sim.received_count(), 3u) << "written three times";
}

TEST_F(Package, SlowUnansweredFinishReturnsTheTimeout) {
  sim.add_fault(sim::no_reply(':', 0x05, -1));
  test::Stopwatch watch;
  EXPECT_EQ(finish_firmware_package(), 110);
  EXPECT_GT(watch.ms(), 9090);
  EXPECT_LT(watch.ms(), 9600) << "a 100 ms pause and three waits of 3 seconds";
  EXPECT_EQ(sim.received_count(), 3u);
}

TEST_F(Package, Version2SendsValidBlocksOnly) {
  PackagePlan plan;
  plan.version = 2;
  plan.main = numbered_records(3);
  plan.blocks = {numbered_records(2, 100), numbered_records(2, 200), numbered_records(2, 300),
                 numbered_records(2, 400)};
  plan.bad_block_checksums = {1};
  FileBytes file = build_package(plan);
  file.resize(file.size() - 36);  // the last block loses a record
  ASSERT_EQ(load(file), 0);
  const FirmwarePackage& p = library.firmware_package;
  ASSERT_EQ(p.block_count, 4);
  EXPECT_TRUE(p.blocks[0].valid);
  EXPECT_FALSE(p.blocks[1].valid) << "wrong checksum";
  EXPECT_TRUE(p.blocks[2].valid);
  EXPECT_FALSE(p.blocks[3].valid) << "incomplete";

  ASSERT_EQ(send_firmware_package(), 0);
  std::vector<RecordBytes> expected = plan.main;
  for (int k : {0, 2}) expected.insert(expected.end(), plan.blocks[k].begin(), plan.blocks[k].end());
  const auto received = sim.received_commands();
  ASSERT_EQ(received.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(received[i], record_command(expected[i])) << i;
}

TEST_F(Package, RecordWithBadChecksumByteStopsTheTransferBeforeIt) {
  PackagePlan plan;
  plan.main = numbered_records(5);
  plan.main[3] = with_bad_checksum(plan.main[3]);
  ASSERT_EQ(load(build_package(plan)), 0);  // the package checksum covers the byte
  EXPECT_EQ(send_firmware_package(), -1);
  EXPECT_EQ(sim.received_count(), 3u);
}

struct Refusal {
  const char* what;
  std::function<void(PackagePlan&)> describe;
  std::function<void(FileBytes&)> spoil;
};

TEST_F(Package, RefusesBadPackagesAndKeepsNothingOfThem) {
  const auto none = [](auto&) {};
  const std::vector<Refusal> cases = {
      {"header length 100", none, [](FileBytes& b) { put_le16(b, 0, 100); }},
      {"header longer than the file", none, [](FileBytes& b) { b.resize(60); }},
      {"version 2 with 0 blocks", [](PackagePlan& s) { s.version = 2; }, none},
      {"version 2 with 21 blocks",
       [](PackagePlan& s) {
         s.version = 2;
         s.blocks.assign(20, numbered_records(1, 100));
       },
       [](FileBytes& b) { put_le16(b, test::kPackageBlockCountAt, 21); }},
      {"a block of 33 records", [](PackagePlan& s) { s.version = 2; s.blocks = {numbered_records(33, 100)}; }, none},
      {"a valid block record with length byte 33",
       [](PackagePlan& s) { s.version = 2; s.blocks = {{firmware_record(100, 1, 33)}}; }, none},
      {"the record entry before the identity entry", [](PackagePlan& s) { s.record_entry_first = true; },
       [](FileBytes& b) {
         // Only the record entry, and a checksum that adds up when the
         // identity entry is taken as zero (no earlier load): the identity
         // record then comes from the start of the file.
         put_le16(b, test::kPackageEntryCountAt, 1);
         uint32_t sum = 0xAA55;
         for (size_t i = 80; i < 90; ++i) sum += b[i];
         for (size_t i = 0; i < 10; ++i) sum += b[i];
         for (size_t i = 110; i < b.size(); ++i) sum += b[i];
         put_le16(b, 72, static_cast<uint16_t>(sum));
       }},
      {"identity entry of record size 11", none, [](FileBytes& b) { put_le16(b, 80 + 2, 11); }},
      {"record entry of record size 35", none, [](FileBytes& b) { put_le16(b, 90 + 2, 35); }},
      {"4097 main records", none, [](FileBytes& b) { put_le16(b, 90 + 4, 4097); }},
      {"main records missing", none, [](FileBytes& b) { put_le16(b, 90 + 4, 4); }},
      {"identity record out of the file", none, [](FileBytes& b) { test::put_le32(b, 80 + 6, 100000); }},
      {"main record length byte 33", [](PackagePlan& s) { s.main[0] = firmware_record(0, 0, 33); }, none},
      {"package checksum", none, [](FileBytes& b) { ++b[72]; }},
      {"directory cut short", none, [](FileBytes& b) { b.resize(85); }},
  };
  for (const Refusal& c : cases) {
    PackagePlan plan;
    plan.main = numbered_records(3);
    c.describe(plan);
    FileBytes file = build_package(plan);
    c.spoil(file);
    EXPECT_EQ(load(file), -1) << c.what;
    EXPECT_EQ(library.firmware_package.version, 0) << c.what;
    EXPECT_EQ(library.firmware_package.main_count, 0) << c.what;
    EXPECT_EQ(library.firmware_package.block_count, 0) << c.what;
  }
  EXPECT_EQ(load_firmware_package((files.dir() + "/missing.bin").c_str()), -1);
  EXPECT_EQ(send_firmware_package(), 0);
  EXPECT_EQ(sim.received_count(), 0u) << "nothing of a refused package went out";
}

}  // namespace
}  // namespace tmode
