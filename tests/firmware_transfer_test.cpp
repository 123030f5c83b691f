// Sending a record file to the simulated controller and finishing the
// update: the wire bytes, the progress, the retries and where a transfer
// stops.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "library/library_state.h"
#include "link/link.h"
#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/firmware_progress.h"
#include "tests/support/firmware_files.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::build_record_file;
using test::bytes;
using test::firmware_record;
using test::numbered_records;
using test::record_command;
using test::RecordBytes;
using test::RecordFilePlan;
using test::with_bad_checksum;

class RecordFileTransfer : public test::SimLinkTest {
 protected:
  void load(const RecordFilePlan& plan) {
    ASSERT_EQ(load_firmware_file(files.write("firmware.bin", build_record_file(plan)).c_str()), 0);
  }
  // Runs send_firmware with standard output captured.
  int send(std::string* progress = nullptr) {
    testing::internal::CaptureStdout();
    const int result = send_firmware();
    const std::string out = testing::internal::GetCapturedStdout();
    if (progress != nullptr) *progress = out;
    return result;
  }
  test::TempFiles files;
};

TEST_F(RecordFileTransfer, SendsMainRecordsThenListsByteForByte) {
  RecordFilePlan plan;
  plan.main = numbered_records(30);
  plan.main.push_back(firmware_record(30, 30, 7));  // the image's short last record
  plan.lists = {numbered_records(2, 100), numbered_records(1, 200), numbered_records(3, 300),
                numbered_records(2, 400)};
  load(plan);
  ASSERT_EQ(send(), 0);

  std::vector<RecordBytes> expected = plan.main;
  for (const auto& list : plan.lists) expected.insert(expected.end(), list.begin(), list.end());
  const auto received = sim.received_commands();
  ASSERT_EQ(received.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(received[i], record_command(expected[i])) << i;
  EXPECT_EQ(sim.state().firmware.records.size(), expected.size()) << "every checksum added up";
  EXPECT_EQ(received[30].size(), 7u + 7u);
}

TEST_F(RecordFileTransfer, FinishCarriesW1AndW2OrTheExtensionBytes) {
  RecordFilePlan plan;
  plan.main = numbered_records(2);
  plan.w1 = 0x1A2B;
  plan.w2 = 0x3C4D;
  load(plan);
  EXPECT_EQ(finish_firmware_update(), 0);

  plan.extension = true;
  load(plan);
  EXPECT_EQ(finish_firmware_update(), 0);
  const auto finishes = sim.state().firmware.finish_commands;
  ASSERT_EQ(finishes.size(), 2u);
  EXPECT_EQ(finishes[0], bytes({':', 0x05, 0x2B, 0x1A, 0x4D, 0x3C}));
  EXPECT_EQ(finishes[1], bytes({':', 0x05, 0xE1, 0xE2, 0xE3, 0x4D, 0x3C}));
}

TEST_F(RecordFileTransfer, FinishWithAWrongAnswerFails) {
  sim.add_fault(sim::wrong_byte(':', 0x05, 4, 0x00, -1));
  EXPECT_EQ(finish_firmware_update(), -1);
}

TEST_F(RecordFileTransfer, ProgressRunsFromZeroTo99Percent) {
  RecordFilePlan plan;
  plan.main = numbered_records(200);
  load(plan);
  std::string progress;
  ASSERT_EQ(send(&progress), 0);
  std::vector<int> shown;
  for (size_t at = 0; (at = progress.find("\r(I) ", at)) != std::string::npos; at += 5) {
    shown.push_back(std::stoi(progress.substr(at + 5)));
  }
  ASSERT_EQ(shown.size(), 200u);
  EXPECT_EQ(shown.front(), 0);
  EXPECT_EQ(shown[2], 1);
  EXPECT_EQ(shown.back(), 99);
  EXPECT_EQ(progress.substr(progress.size() - 8), "\r(I) 99%");
}

// Every step a transfer reports: sent, total, percent.
std::vector<std::array<int, 3>> progress_steps;
void record_step(void* context, const FirmwareProgress& p) {
  EXPECT_EQ(context, &progress_steps);
  progress_steps.push_back({p.sent, p.total, p.percent});
}

TEST_F(RecordFileTransfer, ProgressCallbackCountsOverTheWholeTransferAndReplacesTheLines) {
  RecordFilePlan plan;
  plan.main = numbered_records(4);
  plan.lists = {numbered_records(2, 100), {}, numbered_records(1, 300), {}};
  load(plan);
  progress_steps.clear();
  std::string out;
  {
    FirmwareProgressScope scope(record_step, &progress_steps);
    ASSERT_EQ(send(&out), 0);
  }
  EXPECT_EQ(out, "") << "the callback replaces the printed lines";
  const std::vector<std::array<int, 3>> expected = {{0, 7, 0},  {1, 7, 25}, {2, 7, 50}, {3, 7, 75},
                                                    {4, 7, 0},  {5, 7, 25},  // list 1 over the 4 main records
                                                    {6, 7, 0}};
  EXPECT_EQ(progress_steps, expected);

  // The scope's end puts the specified lines back.
  ASSERT_EQ(send(&out), 0);
  EXPECT_EQ(out, "\r(I) 0%\r(I) 25%\r(I) 50%\r(I) 75%\r(I) 0%\r(I) 25%\r(I) 0%");
}

TEST_F(RecordFileTransfer, PackageReportsStepsWithoutPercentAndPrintsNothing) {
  test::PackagePlan plan;
  plan.version = 2;
  plan.main = numbered_records(2);
  plan.blocks = {numbered_records(1, 100), numbered_records(2, 200)};
  plan.bad_block_checksums = {0};
  ASSERT_EQ(load_firmware_package(files.write("package.bin", test::build_package(plan)).c_str()), 0);
  testing::internal::CaptureStdout();
  ASSERT_EQ(send_firmware_package(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  progress_steps.clear();
  FirmwareProgressScope scope(record_step, &progress_steps);
  ASSERT_EQ(send_firmware_package(), 0);
  const std::vector<std::array<int, 3>> expected = {{0, 4, -1}, {1, 4, -1}, {2, 4, -1}, {3, 4, -1}};
  EXPECT_EQ(progress_steps, expected) << "the invalid block is neither sent nor counted";
}

TEST_F(RecordFileTransfer, MainRecordWithBadChecksumStopsTheTransferBeforeIt) {
  RecordFilePlan plan;
  plan.main = numbered_records(10);
  plan.main[6] = with_bad_checksum(plan.main[6]);
  plan.lists[0] = numbered_records(2, 100);
  load(plan);
  std::string progress;
  EXPECT_EQ(send(&progress), -1);
  EXPECT_EQ(sim.received_count(), 6u);
  EXPECT_EQ(progress.substr(progress.rfind('\r')), "\r(I) 50%") << "no progress for the bad record";
}

TEST_F(RecordFileTransfer, RecordAnsweredWronglyIsTriedFiveTimes) {
  struct Case {
    int wrong_answers;
    int result;
    size_t commands;  // 3 records
  };
  for (const Case c : {Case{4, 0, 3 + 4}, Case{5, -1, 1 + 5}}) {
    RecordFilePlan plan;
    plan.main = numbered_records(3);
    load(plan);
    sim.clear_traffic();
    sim.clear_faults();
    sim.add_fault(sim::garbled_byte({':', 0x01, 0x01, 0x00}, 6, c.wrong_answers));
    EXPECT_EQ(send(), c.result) << c.wrong_answers;
    EXPECT_EQ(sim.received_count(), c.commands) << c.wrong_answers;
  }
}

TEST_F(RecordFileTransfer, LengthByteIsCheckedAgainWhenSending) {
  RecordFilePlan plan;
  plan.main = numbered_records(3);
  load(plan);
  library.firmware_file.main_records[1].length = 58;  // 63 packet bytes: more than a report holds
  EXPECT_EQ(send(), -1);
  EXPECT_EQ(sim.received_count(), 1u);

  const FirmwareRecord& r = library.firmware_file.main_records[0];
  EXPECT_EQ(send_firmware_record(0, 0, 33, r.checksum, r.data), -1);
  EXPECT_EQ(send_firmware_record(0, 0, -1, r.checksum, r.data), -1);
  EXPECT_EQ(sim.received_count(), 1u);
  EXPECT_EQ(send_firmware_record(r.location[0], r.location[1], 32, r.checksum, r.data), 0);
}

TEST_F(RecordFileTransfer, ListSentOnItsOwnCountsProgressOverItself) {
  // Nothing loaded: no main records to count over.
  ASSERT_EQ(load_firmware_file(nullptr), -1);
  FirmwareRecord records[2];
  for (int i = 0; i < 2; ++i) {
    const RecordBytes r = firmware_record(static_cast<uint16_t>(i), static_cast<uint8_t>(i));
    std::memcpy(&records[i], r.data(), sizeof records[i]);
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(send_record_list(2, records), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\r(I) 0%\r(I) 50%");
  EXPECT_EQ(send_record_list(-1, records), -1);
  EXPECT_EQ(sim.received_count(), 2u);
}

TEST_F(RecordFileTransfer, RefusedLoadLeavesNothingToSend) {
  RecordFilePlan plan;
  plan.main = numbered_records(3);
  test::FileBytes file = build_record_file(plan);
  ++file[19];  // the main checksum
  ASSERT_EQ(load_firmware_file(files.write("bad.bin", file).c_str()), -1);
  EXPECT_EQ(send(), 0);
  EXPECT_EQ(sim.received_count(), 0u) << "nothing of the refused file went out";
}

TEST_F(RecordFileTransfer, ClosedLinkSendsNothing) {
  RecordFilePlan plan;
  plan.main = numbered_records(3);
  load(plan);
  close_link(0, 0);
  EXPECT_EQ(send(), -1);
  EXPECT_EQ(send_record_list(0, library.firmware_file.main_records), -1);
  EXPECT_EQ(finish_firmware_update(), -1);
  EXPECT_EQ(send_firmware_package(), -1);
  EXPECT_EQ(finish_firmware_package(), -1);
  usleep(20000);
  EXPECT_EQ(sim.received_count(), 0u);
}

}  // namespace
}  // namespace tmode
