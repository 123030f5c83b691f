#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

#include "link/report_extract.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using Bytes = std::vector<uint8_t>;

// Each read the descriptor delivers, and what successive extract calls give
// back: a report's bytes, or an empty list for "no report" (result 0).
struct ExtractCase {
  std::string name;
  std::vector<Bytes> reads;
  std::vector<Bytes> results;
  bool byte_stream = false;  // a terminal or socket rather than a hidraw node
};

class ExtractReport : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractReport, YieldsReportsReadByRead) {
  const ExtractCase& c = GetParam();
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
  ReportStaging staging{};
  staging.byte_stream = c.byte_stream;
  size_t next_read = 0;
  for (const Bytes& expected : c.results) {
    // A fresh read happens only when the staging buffer is used up.
    if (!staging_has_bytes(staging) && next_read < c.reads.size()) {
      const Bytes& chunk = c.reads[next_read++];
      ASSERT_EQ(::write(fds[1], chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    }
    uint8_t out[kReportBufferSize];
    std::memset(out, 0xEE, sizeof out);
    const int size = extract_report(staging, fds[0], false, out, kReportSize);
    ASSERT_EQ(size, static_cast<int>(expected.size()));
    if (size > 0) {
      EXPECT_EQ(Bytes(out, out + size), expected);
      EXPECT_EQ(out[size], 0) << "terminating zero";
    }
  }
  ::close(fds[0]);
  ::close(fds[1]);
}

Bytes full_report() {
  Bytes report{0x03, 62};
  for (int i = 0; i < 62; ++i) report.push_back(static_cast<uint8_t>(0x40 + i));
  return report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractReport,
    ::testing::Values(
        ExtractCase{"TwoReportsInOneRead",
                    {bytes({0x03, 0x02, 0xAA, 0xBB, 0x03, 0x03, 0xCC, 0xDD, 0xEE})},
                    {bytes({0x03, 0x02, 0xAA, 0xBB}), bytes({0x03, 0x03, 0xCC, 0xDD, 0xEE})}},
        ExtractCase{"PaddedReportThenNothing",
                    {bytes({0x03, 0x02, 0x3F, 0x65, 0, 0, 0, 0})},
                    {bytes({0x03, 0x02, 0x3F, 0x65}), {}}},
        ExtractCase{"ReadNotStartingWithReportIdDiscardedWhole",
                    {bytes({0x00, 0x03, 0x02, 0xAA, 0xBB}), bytes({0x03, 0x01, 0x44})},
                    {{}, bytes({0x03, 0x01, 0x44})}},
        ExtractCase{"LengthAboveMaximumAbandonsReport",
                    {bytes({0x03, 63, 0x03, 0x02, 0xAA, 0xBB})},
                    {bytes({0x03, 0x02, 0xAA, 0xBB})}},
        ExtractCase{"LengthMarker82HasFourPayloadBytes",
                    {bytes({0x03, 0x82, 1, 2, 3, 4, 0x03, 0x83, 5, 6, 7, 8})},
                    {bytes({0x03, 0x82, 1, 2, 3, 4}), bytes({0x03, 0x83, 5, 6, 7, 8})}},
        ExtractCase{"ReportCutByEndOfReadIsLost",
                    {bytes({0x03, 0x05, 0xAA, 0xBB}), bytes({0xCC, 0xDD, 0xEE}), bytes({0x03, 0x01, 0x46})},
                    {{}, {}, bytes({0x03, 0x01, 0x46})}},
        ExtractCase{"LargestReportFillsTheBuffer", {full_report()}, {full_report()}},
        ExtractCase{"EmptyPayload", {bytes({0x03, 0x00, 0x03, 0x01, 0x45})},
                    {bytes({0x03, 0x00}), bytes({0x03, 0x01, 0x45})}},
        // A byte stream cuts reads anywhere: a report cut by the end of a
        // read is completed from the next, cut after its id or within its
        // payload, and the padding of the report before may lead a read.
        ExtractCase{"ByteStreamCompletesAReportCutInItsPayload",
                    {bytes({0x03, 0x05, 0xAA, 0xBB}), bytes({0xCC, 0xDD, 0xEE, 0x03, 0x01, 0x46})},
                    {{}, bytes({0x03, 0x05, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}), bytes({0x03, 0x01, 0x46})},
                    true},
        ExtractCase{"ByteStreamCompletesAReportCutAfterItsId",
                    {bytes({0x03, 0x01, 0x44, 0x03}), bytes({0x02, 0xAA, 0xBB})},
                    {bytes({0x03, 0x01, 0x44}), {}, bytes({0x03, 0x02, 0xAA, 0xBB})},
                    true},
        ExtractCase{"ByteStreamCompletesAReportCutAfterAnAbandonedOne",
                    {bytes({0x03, 63, 0x03}), bytes({0x01, 0x47})},
                    {{}, bytes({0x03, 0x01, 0x47})},
                    true},
        ExtractCase{"ByteStreamSkipsPaddingLeadingARead",
                    {bytes({0x03, 0x01, 0x44, 0, 0}), bytes({0, 0, 0x03, 0x01, 0x45})},
                    {bytes({0x03, 0x01, 0x44}), {}, bytes({0x03, 0x01, 0x45})},
                    true},
        ExtractCase{"ByteStreamStillDiscardsAReadOfOtherBytes",
                    {bytes({0x00, 0x05, 0x03, 0x01, 0x44}), bytes({0x03, 0x01, 0x45})},
                    {{}, bytes({0x03, 0x01, 0x45})},
                    true}),
    [](const ::testing::TestParamInfo<ExtractCase>& info) { return info.param.name; });

TEST(ExtractReportStream, EndOfStreamIsReported) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
  ReportStaging staging{};
  uint8_t out[kReportBufferSize];
  EXPECT_EQ(extract_report(staging, fds[0], false, out, kReportSize), 0);
  EXPECT_FALSE(staging.stream_ended) << "nothing queued on a non-blocking descriptor is not an end";
  ::close(fds[1]);
  EXPECT_EQ(extract_report(staging, fds[0], false, out, kReportSize), 0);
  EXPECT_TRUE(staging.stream_ended);
  ::close(fds[0]);
}

}  // namespace
}  // namespace tmode
