// The word stores, their checksummed blocks and the 26-byte records,
// against the simulated controller.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/store_blocks.h"
#include "protocol/store_words.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;
using Bytes = std::vector<uint8_t>;

class StoreBlocks : public SimLinkTest {};

// A word-store block as the caller sees it.
struct BlockCase {
  std::string name;
  int (*read)(int, int, uint32_t*);
  int (*write)(int, int, const uint32_t*);
  int first, words, checksum_index;
  uint16_t seed;
  int slots;  // of the caller's area
};

const BlockCase kBlocks[] = {
    {"A", read_store_block_a, write_store_block_a, 0, 63, 63, 0x0055, 64},
    {"C", read_store_block_c, write_store_block_c, 128, 63, 191, 0x0055, 63},
    {"D", read_store_block_d, write_store_block_d, 192, 63, 255, 0x0055, 63},
    {"B", read_store_block_b, write_store_block_b, 64, 191, 255, 0xAA55, 191},
    {"B seed 0x55", read_store_block_b_seed55, write_store_block_b_seed55, 64, 191, 255, 0x0055, 191},
};

TEST_F(StoreBlocks, WrittenBlocksCarryTheirChecksumAndReadBack) {
  for (const BlockCase& b : kBlocks) {
    sim.update([](sim::ControllerState& s) { s.family.store.fill(0x1111); });
    sim.clear_traffic();
    std::vector<uint32_t> area(static_cast<size_t>(b.slots));
    uint16_t sum = b.seed;
    for (int k = 0; k < b.words; ++k) {
      // The upper 16 bits of a slot are not sent.
      area[static_cast<size_t>(k)] = 0xABCD0000u | static_cast<uint32_t>(0x9000 + 37 * k);
      sum = static_cast<uint16_t>(sum + 0x9000 + 37 * k);
    }
    ASSERT_EQ(b.write(0, 0, area.data()), 0) << b.name;
    const auto store = sim.state().family.store;
    for (int k = 0; k < b.words; ++k) EXPECT_EQ(store[static_cast<size_t>(b.first + k)], 0x9000 + 37 * k) << b.name;
    EXPECT_EQ(store[static_cast<size_t>(b.checksum_index)], sum) << b.name;
    const auto written = sim.received_commands();
    ASSERT_EQ(written.size(), static_cast<size_t>(b.words + 1)) << b.name;
    EXPECT_EQ(written.back(), bytes({3, 4, 'B', b.checksum_index, sum & 0xFF, sum >> 8})) << b.name;
    if (b.seed != 0xAA55 && b.first == 64) continue;  // the same words as B, read below

    std::vector<uint32_t> back(static_cast<size_t>(b.slots) + 1, 0xEEEEEEEEu);
    ASSERT_EQ(b.read(0, 0, back.data()), 0) << b.name;
    for (int k = 0; k < b.words; ++k) EXPECT_EQ(back[static_cast<size_t>(k)], 0x9000u + 37u * static_cast<unsigned>(k));
    EXPECT_EQ(back[static_cast<size_t>(b.slots)], 0xEEEEEEEEu) << b.name << ": the area ends at " << b.slots << " slots";
  }
}

TEST_F(StoreBlocks, BlockAWriteSendsSixtyFourWordCommands) {
  uint32_t area[64] = {};
  for (int k = 0; k < 63; ++k) area[k] = 1000u + static_cast<unsigned>(k);
  ASSERT_EQ(write_store_block_a(0, 0, area), 0);
  const auto written = sim.received_commands();
  ASSERT_EQ(written.size(), 64u);
  for (int k = 0; k < 64; ++k) {
    EXPECT_EQ(written[static_cast<size_t>(k)][2], 'B');
    EXPECT_EQ(written[static_cast<size_t>(k)][3], k);
  }
  // 0x55 + 1000 + ... + 1062 = 0x55 + 64953, modulo 65536.
  EXPECT_EQ(sim.state().family.store[63], (0x55 + 64953) % 65536);
}

TEST_F(StoreBlocks, ChecksumOffByOneLeavesTheAreaUntouched) {
  sim.update([](sim::ControllerState& s) {
    uint16_t sum = 0x55;
    for (int k = 0; k < 63; ++k) sum = static_cast<uint16_t>(sum + (s.family.store[static_cast<size_t>(k)] = static_cast<uint16_t>(k * 3)));
    s.family.store[63] = static_cast<uint16_t>(sum + 1);
  });
  uint32_t area[64];
  std::memset(area, 0x5A, sizeof area);
  EXPECT_EQ(read_store_block_a(0, 0, area), -1);
  for (uint32_t slot : area) EXPECT_EQ(slot, 0x5A5A5A5Au);
  EXPECT_EQ(sim.received_count(), 64u);
}

TEST_F(StoreBlocks, ReadStopsAtTheFirstWordThatFails) {
  // Word 17 is answered for index 18 three times: each attempt fails at once.
  sim.add_fault(sim::wrong_byte_to(bytes({'C', 17}), 3, 18, 3));
  uint32_t area[64];
  std::memset(area, 0x5A, sizeof area);
  EXPECT_EQ(read_store_block_a(0, 0, area), -1);
  const auto written = sim.received_commands();
  ASSERT_EQ(written.size(), 17u + 3u);
  EXPECT_EQ(written.back(), bytes({3, 2, 'C', 17})) << "words 18 and on are not read";
  EXPECT_EQ(area[0], 0x5A5A5A5Au);
}

TEST_F(StoreBlocks, WordAnsweredForAnotherIndexIsWrittenAgain) {
  sim.update([](sim::ControllerState& s) { s.family.store[5] = 0x4321; });
  sim.add_fault(sim::wrong_byte_to(bytes({'C', 5}), 3, 6));
  uint16_t word = 0xFFFF;
  Stopwatch watch;
  EXPECT_EQ(read_store_word(5, &word), 0);
  EXPECT_EQ(word, 0x4321);
  EXPECT_EQ(sim.received_count(), 2u);
  EXPECT_LT(watch.ms(), 200) << "no wait for the rest of the attempt";

  sim.clear_faults();
  sim.add_fault(sim::wrong_byte_to(bytes({'C', 5}), 3, 6, 3));
  EXPECT_EQ(read_store_word(5, &word), -1);
  EXPECT_EQ(word, 0) << "a failed read leaves 0";
}

TEST_F(StoreBlocks, WriteStopsAtTheFirstWordThatFails) {
  sim.add_fault(sim::wrong_byte_to(bytes({'B', 130}), 2, 'Z', 3));
  uint32_t area[63];
  for (uint32_t& slot : area) slot = 0x7777;
  EXPECT_EQ(write_store_block_c(0, 0, area), -1);
  const auto store = sim.state().family.store;
  EXPECT_EQ(store[129], 0x7777);
  EXPECT_EQ(store[131], 0) << "nothing after the failing word";
  EXPECT_EQ(store[191], 0) << "no checksum";
}

TEST_F(StoreBlocks, SecondStoreBlockUsesItsOwnCommands) {
  uint16_t area[510] = {};
  uint16_t sum = 0xAA55;
  for (int k = 0; k < 255; ++k) {
    area[k] = static_cast<uint16_t>(k * 257);
    sum = static_cast<uint16_t>(sum + k * 257);
  }
  ASSERT_EQ(write_ext_store_block(0, 0, area), 0);
  EXPECT_EQ(sim.received_commands()[0], bytes({3, 6, '6', 'G', 'z', 0, 0, 0}));
  EXPECT_EQ(sim.state().family.ext_store[255], sum);
  EXPECT_EQ(sim.state().family.store[255], 0) << "the first store is not touched";

  sim.clear_traffic();
  uint16_t back[511];
  std::memset(back, 0xEE, sizeof back);
  ASSERT_EQ(read_ext_store_block(0, 0, back), 0);
  EXPECT_EQ(sim.received_commands()[0], bytes({3, 4, '6', 'F', 'z', 0}));
  EXPECT_EQ(std::memcmp(back, area, 510), 0);
  EXPECT_EQ(back[510], 0xEEEE) << "1020 bytes written";
}

TEST_F(StoreBlocks, InvalidatingAddsOneToTheChecksumAndResets) {
  struct Case {
    std::string name;
    int (*invalidate)(int, int);
    int index;
    bool ext;
  };
  const Case cases[] = {{"255", invalidate_store_block_255, 255, false},
                        {"191", invalidate_store_block_191, 191, false},
                        {"second store", invalidate_ext_store_block, 255, true}};
  for (const Case& c : cases) {
    sim.update([&](sim::ControllerState& s) {
      (c.ext ? s.family.ext_store : s.family.store)[static_cast<size_t>(c.index)] = 0xFFFF;
      s.family.resets = 0;
    });
    sim.clear_traffic();
    EXPECT_EQ(c.invalidate(0, 0), 0) << c.name;
    const auto state = sim.state();
    EXPECT_EQ((c.ext ? state.family.ext_store : state.family.store)[static_cast<size_t>(c.index)], 0) << c.name;
    EXPECT_EQ(state.family.resets, 1) << c.name;
    EXPECT_EQ(sim.received_commands().back(), bytes({3, 1, 'g'})) << c.name;
  }

  // A failing step ends it: nothing is written back, no reset.
  sim.clear_traffic();
  sim.add_fault(sim::wrong_byte_to(bytes({'C', 191}), 3, 190, 3));
  EXPECT_EQ(invalidate_store_block_191(0, 0), -1);
  EXPECT_EQ(sim.received_count(), 3u);
  EXPECT_EQ(sim.state().family.resets, 1);
}

TEST_F(StoreBlocks, RecordsOfTwentySixBytes) {
  uint8_t record[26];
  for (int i = 0; i < 26; ++i) record[i] = static_cast<uint8_t>(0xC0 + i);
  EXPECT_EQ(write_record26(0, 0, 200, record), 0);
  const auto sent = sim.received_commands()[0];
  ASSERT_EQ(sent.size(), 31u);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 5), bytes({3, 0x1D, '6', 'K', 200}));
  EXPECT_EQ(Bytes(sent.begin() + 5, sent.end()), Bytes(record, record + 26));

  uint8_t out[30];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(read_record26(0, 0, 200, out), 26);
  EXPECT_EQ(sim.received_commands()[1], bytes({3, 3, '6', 'J', 200}));
  EXPECT_EQ(std::memcmp(out, record, 26), 0);
  EXPECT_EQ(out[26], 0xEE);

  sim.add_fault(sim::wrong_byte('6', 'K', 4, 201, 3));
  EXPECT_EQ(write_record26(0, 0, 200, record), -1) << "the echo of the number is checked";
}

TEST_F(StoreBlocks, SlowBlockReadEndsAtAWordThatTimesOut) {
  // Two wrong answers and a silent third attempt for word 17: -1 after the
  // 5 ms pause and one 3-second wait.
  sim.add_fault(sim::wrong_byte_to(bytes({'C', 17}), 3, 18, 2));
  sim.add_fault(sim::no_reply_to(bytes({'C', 17})));
  uint32_t area[64];
  std::memset(area, 0x5A, sizeof area);
  Stopwatch watch;
  EXPECT_EQ(read_store_block_a(0, 0, area), -1);
  EXPECT_NEAR(watch.ms(), 3000 + 18 * 5, 200);
  EXPECT_EQ(sim.received_count(), 20u);
  EXPECT_EQ(area[63], 0x5A5A5A5Au);
}

}  // namespace
}  // namespace tmode
