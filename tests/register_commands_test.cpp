// Register transfers and the small test commands against the simulated
// controller's sensing chips.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/link.h"
#include "maintenance/chip_registers.h"
#include "maintenance/test_commands.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using Bytes = std::vector<uint8_t>;

class ChipRegisters : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    sim.update([](sim::ControllerState& s) {
      for (int chip = 0; chip < sim::kSimChips; ++chip) {
        for (int r = 0; r < 256; ++r) s.registers.chips[chip][r] = static_cast<uint8_t>(chip * 64 + r * 7);
      }
    });
  }
  // (register, count) of each '?','B' or '?','C' packet received.
  std::vector<std::pair<int, int>> chunks() {
    std::vector<std::pair<int, int>> out;
    for (const auto& c : sim.received_commands()) out.emplace_back(c[5], c[6]);
    return out;
  }
};

TEST_F(ChipRegisters, TransfersGoInChunksOfAtMostFiftyFour) {
  struct Case {
    int first, count;
    std::vector<std::pair<int, int>> chunks;
  };
  const Case cases[] = {
      {7, 0, {}},
      {10, 54, {{10, 54}}},
      {10, 55, {{10, 54}, {64, 1}}},
      {0, 60, {{0, 54}, {54, 6}}},
      {250, 60, {{250, 54}, {48, 6}}},  // the register number wraps at 256
      {0, 255, {{0, 54}, {54, 54}, {108, 54}, {162, 54}, {216, 39}}},
  };
  for (const Case& c : cases) {
    sim.clear_traffic();
    uint8_t buffer[256];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(read_chip_registers(2, c.first, c.count, buffer), c.count);
    EXPECT_EQ(chunks(), c.chunks) << "read " << c.first << "+" << c.count;
    const auto file = sim.state().registers.chips[2];
    for (int k = 0; k < c.count; ++k) EXPECT_EQ(buffer[k], file[static_cast<uint8_t>(c.first + k)]);
    EXPECT_EQ(buffer[c.count], 0xEE);

    sim.clear_traffic();
    uint8_t data[255];
    for (int k = 0; k < 255; ++k) data[k] = static_cast<uint8_t>(0xA0 ^ k);
    EXPECT_EQ(write_chip_registers(1, c.first, c.count, data), c.count);
    EXPECT_EQ(chunks(), c.chunks) << "write " << c.first << "+" << c.count;
    const auto written = sim.state().registers.chips[1];
    for (int k = 0; k < c.count; ++k) EXPECT_EQ(written[static_cast<uint8_t>(c.first + k)], data[k]);
  }
  const auto sent = sim.received_commands();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(Bytes(sent[0].begin(), sent[0].begin() + 7), bytes({3, 59, '?', 'C', 1, 0, 54}));
  EXPECT_EQ(sent[0].size(), 61u);
}

TEST_F(ChipRegisters, CountsAboveTwoHundredFiftyFiveAreRefused) {
  uint8_t buffer[300] = {};
  EXPECT_EQ(read_chip_registers(0, 0, 256, buffer), -1);
  EXPECT_EQ(write_chip_registers(0, 0, 300, buffer), -1);
  EXPECT_EQ(read_chip_registers(0, 0, -1, buffer), -1);
  usleep(20000);
  EXPECT_EQ(sim.received_count(), 0u);
}

TEST_F(ChipRegisters, ReadTakesNoMoreThanTheChunkAskedFor) {
  // The reply's low 7 bits claim 3 bytes, then 127: the chunk still
  // advances by what was asked, and never takes more.
  struct Case {
    uint8_t claimed;
    int taken;
  };
  for (const Case c : {Case{0x83, 3}, Case{0xFF, 10}}) {
    sim.clear_faults();
    sim.add_fault(sim::wrong_byte('?', 'B', 6, c.claimed));
    uint8_t buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(read_chip_registers(0, 0, 10, buffer), 10);
    const auto file = sim.state().registers.chips[0];
    for (int k = 0; k < 64; ++k) {
      if (k < c.taken) {
        EXPECT_EQ(buffer[k], file[k]) << int{c.claimed} << " byte " << k;
      } else {
        EXPECT_EQ(buffer[k], 0xEE) << int{c.claimed} << " byte " << k << " keeps its content";
      }
    }
  }
}

TEST_F(ChipRegisters, ChunkRefusedFiveTimesFailsTheTransfer) {
  // The second chunk (register 54) comes back without its done bit.
  sim.add_fault(sim::wrong_byte_to(bytes({'?', 'C', 0, 54}), 6, 0x06, 5));
  uint8_t data[100] = {};
  EXPECT_EQ(write_chip_registers(0, 0, 100, data), -1);
  EXPECT_EQ(chunks(), (std::vector<std::pair<int, int>>{{0, 54}, {54, 46}, {54, 46}, {54, 46}, {54, 46}, {54, 46}}));

  sim.clear_traffic();
  sim.add_fault(sim::wrong_byte_to(bytes({'?', 'B', 0, 54}), 6, 0x06, 4));
  uint8_t buffer[100];
  EXPECT_EQ(read_chip_registers(0, 0, 100, buffer), 100) << "the fifth attempt succeeds";
  EXPECT_EQ(sim.received_count(), 6u);
}

TEST_F(ChipRegisters, ChipTwoHundredFiftyFiveWritesEveryChip) {
  const uint8_t data[2] = {0x12, 0x34};
  EXPECT_EQ(write_chip_registers(255, 139, 2, data), 2);
  const auto state = sim.state();
  for (int chip = 0; chip < sim::kSimChips; ++chip) {
    EXPECT_EQ(state.registers.chips[chip][139], 0x12);
    EXPECT_EQ(state.registers.chips[chip][140], 0x34);
  }
  uint8_t none[2];
  EXPECT_EQ(read_chip_registers(9, 0, 2, none), -1) << "a chip the controller does not have";
}

class TestCommands : public SimLinkTest {};

struct CommandCase {
  std::string name;
  std::function<int()> call;
  Bytes written;
  int result;
};

TEST_F(TestCommands, PacketsAndResults) {
  sim.update([](sim::ControllerState& s) {
    s.registers.values_4f[5] = 0x4F;
    s.registers.values_52[6] = 0x52;
    s.registers.freq_index = 9;
  });
  uint8_t out = 0;
  const CommandCase cases[] = {
      {"start_chip_scan", [] { return start_chip_scan(0, 255); }, bytes({3, 4, '?', 'D', 0, 255}), 0},
      {"command_3f_4f", [&] { return command_3f_4f(5, &out); }, bytes({3, 3, '?', 'O', 5}), 1},
      {"command_3f_50", [&] { return command_3f_50(&out); }, bytes({3, 2, '?', 'P'}), 1},
      {"command_3f_5b", [] { return command_3f_5b(0x33); }, bytes({3, 3, '?', '[', 0x33}), 0},
      {"read_freq_index", [&] { return read_freq_index(&out); }, bytes({3, 2, '?', 'T'}), 1},
      {"command_3f_6a", [] { return command_3f_6a(1, 2); }, bytes({3, 4, '?', 'j', 1, 2}), 0},
      {"command_3f_52", [&] { return command_3f_52(6, &out); }, bytes({3, 3, '?', 'R', 6}), 1},
      {"set_touch_info", [] { return set_touch_info(1); }, bytes({3, 3, '?', 'i', 1}), 0},
      {"command_3f_6e", [] { return command_3f_6e(); }, bytes({3, 2, '?', 'n'}), 1},
      {"command_36_4f_echoed", [] { return command_36_4f_echoed(0x2A); }, bytes({3, 3, '6', 'O', 0x2A}), 0},
      {"send_test_mode (3)", [] { return send_test_mode(3); }, bytes({3, 3, '?', 'S', 2}), 0},
      {"send_test_mode (1)", [] { return send_test_mode(1); }, bytes({3, 3, '?', 'S', 1}), 0},
  };
  const uint8_t outputs[] = {0, 0x4F, 0x50, 0, 9, 0, 0x52, 0, 0, 0, 0, 0};
  int i = 0;
  for (const CommandCase& c : cases) {
    sim.clear_traffic();
    out = 0;
    EXPECT_EQ(c.call(), c.result) << c.name;
    ASSERT_TRUE(sim.wait_for_commands(1, 1000)) << c.name;
    EXPECT_EQ(sim.received_commands(), std::vector<Bytes>{c.written}) << c.name;
    EXPECT_EQ(out, outputs[i++]) << c.name;
  }
  const auto state = sim.state();
  EXPECT_EQ(state.registers.scans, 1);
  EXPECT_EQ(state.registers.touch_info, 1);
  EXPECT_EQ(state.registers.test_mode, 1);
}

TEST_F(TestCommands, EchoesAreChecked) {
  struct Case {
    std::string name;
    std::function<int()> call;
    int index;
  };
  const Case cases[] = {
      {"start_chip_scan a", [] { return start_chip_scan(1, 2); }, 4},
      {"start_chip_scan b", [] { return start_chip_scan(1, 2); }, 5},
      {"start_chip_scan status", [] { return start_chip_scan(1, 2); }, 6},
      {"command_3f_5b", [] { return command_3f_5b(7); }, 4},
      {"set_touch_info", [] { return set_touch_info(1); }, 4},
      {"command_36_4f_echoed", [] { return command_36_4f_echoed(7); }, 4},
  };
  for (const Case& c : cases) {
    sim.clear_faults();
    sim.add_fault(sim::wrong_byte(-1, -1, c.index, 0x99));
    EXPECT_EQ(c.call(), -1) << c.name;
  }
}

TEST_F(TestCommands, StatusCodeTakesItsLastTwoBytesOnlyFromALongReply) {
  uint8_t out[4];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(read_status_code(out), 1);
  EXPECT_EQ(Bytes(out, out + 4), bytes({0x00, 0x01, 0x0B, 0x0A}));

  sim.update([](sim::ControllerState& s) { s.registers.status_long = false; });
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(read_status_code(out), 1);
  EXPECT_EQ(Bytes(out, out + 4), bytes({0x00, 0x01, 0xEE, 0xEE}));
}

TEST_F(TestCommands, WholeReplyCopyEndsWithTheReport) {
  uint8_t out[80];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(command_3f_6b(4, out), 1);
  EXPECT_EQ(Bytes(out, out + 11), bytes({3, 9, '?', 'k', 4, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(out[11], 0xEE);

  sim.update([](sim::ControllerState& s) { s.registers.block_6b = Bytes(59, 0x6B); });
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(command_3f_6b(4, out), 1);
  EXPECT_EQ(out[63], 0x6B);
  EXPECT_EQ(out[64], 0xEE) << "at most the 64-byte report";
}

TEST_F(TestCommands, FailedExchangeWritesNoOutput) {
  sim.vanish();
  usleep(50000);
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(command_3f_4f(1, out), -1);
  EXPECT_EQ(read_freq_index(out), -1);
  EXPECT_EQ(read_status_code(out), -1);
  EXPECT_EQ(command_3f_6b(1, out), -1);
  EXPECT_EQ(Bytes(out, out + 4), bytes({0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(send_test_mode(1), -1);
  uint8_t data[4] = {};
  EXPECT_EQ(write_chip_registers(0, 0, 4, data), -1) << "five failed exchanges";
}

}  // namespace
}  // namespace tmode
