#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "library/library_state.h"
#include "link/report_utils.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;

TEST(Checksum16, SeedLowBitsPlusBytesModulo65536) {
  const std::vector<uint8_t> ff(300, 0xFF);
  EXPECT_EQ(checksum16(0x12345, nullptr, 0), 0x2345);
  EXPECT_EQ(checksum16(0, ff.data(), 1), 0xFF);
  EXPECT_EQ(checksum16(0xFFFF, ff.data(), 1), 0x00FE);
  EXPECT_EQ(checksum16(0x55, ff.data(), 300), (0x55 + 300 * 0xFF) & 0xFFFF);
}

TEST(WrapReport, FramesInPlaceUpToSixtyBytes) {
  uint8_t buffer[64] = {'?', 2, 'a', 'b'};
  EXPECT_EQ(wrap_report(buffer), 6);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), bytes({0x03, 4, '?', 2, 'a', 'b'}));

  uint8_t largest[64] = {'X', 60};
  EXPECT_EQ(wrap_report(largest), 64);
  EXPECT_EQ(largest[1], 62);

  uint8_t too_long[64] = {'X', 61, 7};
  EXPECT_EQ(wrap_report(too_long), -1);
  EXPECT_EQ(too_long[0], 'X');
  EXPECT_EQ(too_long[2], 7);
}

struct Reassembly {
  int position = 0, total = 0, state = 0;
  int feed(std::vector<uint8_t> report) {
    report.resize(64, 0);
    return reassemble_text_reply(report.data(), &position, &total, 64, &state);
  }
};

TEST(ReassembleTextReply, JoinsPiecesOfAText) {
  Reassembly r;
  // "1.23.4" in pieces: first piece (length 6, "1."), then "23", then ".4".
  EXPECT_EQ(r.feed(bytes({0x03, 0x04, 'D', 6, '1', '.'})), 0);
  EXPECT_EQ(r.position, 5);
  EXPECT_EQ(r.feed(bytes({0x03, 0x03, 0x00, '2', '3'})), 0);
  EXPECT_EQ(r.feed(bytes({0x03, 0x03, 0x00, '.', '4'})), 9);
  EXPECT_EQ(std::vector<uint8_t>(library.link.rx_report, library.link.rx_report + 9),
            bytes({0x03, 7, 'D', '1', '.', '2', '3', '.', '4'}));
  EXPECT_EQ(r.position, 0);
  EXPECT_EQ(r.state, 0);
}

TEST(ReassembleTextReply, WholeReportsAndBrokenSequences) {
  Reassembly r;
  EXPECT_EQ(r.feed(bytes({0x00, 0x04, 'D'})), -1) << "byte 0 is not 0x03";
  EXPECT_EQ(r.feed(bytes({0x03, 0x05, '?', 'e', 0, 1})), 64) << "long report copied whole";
  EXPECT_EQ(r.feed(bytes({0x03, 0x04, '?', 'X'})), 64) << "length 4 with a letter at byte 3";
  EXPECT_EQ(r.feed(bytes({0x03, 0x02, 'g', 0x00})), 64) << "other class at position 0";
  EXPECT_EQ(r.feed(bytes({0x03, 0x03, 0x00, 'a', 'b'})), -1) << "a continuation with nothing begun";

  EXPECT_EQ(r.feed(bytes({0x03, 0x04, 'E', 10, 'a', 'b'})), 0);
  EXPECT_EQ(r.feed(bytes({0x03, 0x03, 'Q', 'c', 'd'})), -1) << "a piece of another class mid-way";
  EXPECT_EQ(r.position, 0);
  EXPECT_EQ(r.total, 0);
}

TEST(ReassembleTextReply, RefusesWhatCannotFit) {
  Reassembly r;
  EXPECT_EQ(r.feed(bytes({0x03, 0x04, 'F', 62, 'a', 'b'})), -1) << "65 bytes do not fit 64";
  EXPECT_EQ(r.feed(bytes({0x03, 0x04, 'F', 61, 'a', 'b'})), 0);
  EXPECT_EQ(r.feed(bytes({0x03, 0x00, 0x00})), -1) << "a piece of length 0";
  EXPECT_EQ(r.state, 0);

  // A piece longer than what is left stops at the total.
  EXPECT_EQ(r.feed(bytes({0x03, 0x04, 'F', 3, 'a', 'b'})), 0);
  EXPECT_EQ(r.feed(bytes({0x03, 0x04, 0x00, '.', 'X', 'Y'})), 6);
  EXPECT_EQ(library.link.rx_report[5], '.');
}

TEST(CountBufferedReports, CountsCompleteReportsAndStopsWhenFull) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
  library.link.accumulated = 0;
  auto feed = [&](std::vector<uint8_t> chunk) {
    if (!chunk.empty()) {
      EXPECT_EQ(::write(fds[1], chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    }
    return count_buffered_reports(fds[0]);
  };
  EXPECT_EQ(feed(bytes({0x00, 0x11, 0x03, 0x04, 'a'})), 0) << "leading junk dropped, first report incomplete";
  EXPECT_EQ(feed(bytes({'b', 'c', 'd', 0x03, 0x01})), 1);
  EXPECT_EQ(feed(bytes({'e'})), 2);

  // Fill the 1024-byte buffer; further bytes are not appended.
  std::vector<uint8_t> chunk(64, 0);
  chunk[0] = 0x03;
  chunk[1] = 62;
  for (int i = 0; i < 20; ++i) feed(chunk);
  EXPECT_EQ(library.link.accumulated, kAccumulationSize);
  EXPECT_EQ(feed({}), 2 + (kAccumulationSize - 9) / 64);
  ::close(fds[0]);
  ::close(fds[1]);
  library.link.accumulated = 0;
}

}  // namespace
}  // namespace tmode
