// The plain controller commands against the simulated controller: wire
// bytes, acceptance tests and results.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "link/link.h"
#include "protocol/controller_commands.h"
#include "protocol/direct_commands.h"
#include "protocol/full_report_commands.h"
#include "protocol/unanswered_commands.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;
using Bytes = std::vector<uint8_t>;

class CommandFamily : public SimLinkTest {};

struct WireCase {
  std::string name;
  std::function<int()> call;
  Bytes written;  // the framed report the controller receives
  int result;
};

TEST_F(CommandFamily, EachCommandWritesItsReportAndSucceeds) {
  ValueRecord5 record{};
  const WireCase cases[] = {
      {"command_3f_4d", [] { return command_3f_4d(0, 0, 0x1234); }, bytes({3, 4, '?', 'M', 0x34, 0x12}), 0},
      {"command_3f_6c", [] { return command_3f_6c(0, 0, 7, 9); }, bytes({3, 4, '?', 'l', 7, 9}), 1},
      {"reset_controller", [] { return reset_controller(0, 0); }, bytes({3, 1, 'g'}), 0},
      {"read_state_byte", [&] { return read_state_byte(0, 0, &record); }, bytes({3, 2, '9', 0}), 0},
      {"check_controller_ready", [] { return check_controller_ready(0, 0); }, bytes({3, 2, '9', 1}), 0},
      {"read_state_word", [&] { return read_state_word(0, 0, &record); }, bytes({3, 2, '9', 2}), 0},
      {"command_3a_fe", [] { return command_3a_fe(0, 0); }, bytes({3, 5, ':', 0xFE, '7', 'K', 0xA5}), 0},
      {"command_3a_04", [] { return command_3a_04(0, 0); }, bytes({3, 2, ':', 4}), 0},
      {"read_sensor_size", [&] { return read_sensor_size(0, 0, &record); }, bytes({3, 2, '6', 0x0F}), 0},
      {"command_41", [] { return command_41(0, 0); }, bytes({3, 1, 'A'}), 0},
      {"command_36_12_13 (0)", [] { return command_36_12_13(0, 0, 0); }, bytes({3, 2, '6', 0x12}), 0},
      {"command_36_12_13 (5)", [] { return command_36_12_13(0, 0, 5); }, bytes({3, 2, '6', 0x13}), 0},
      {"command_36_3e", [] { return command_36_3e(0, 0, 0x1FE); }, bytes({3, 3, '6', '>', 0xFE}), 0},
      {"command_36_15", [] { return command_36_15(0, 0, 0x0102, 0x0304, 0x0506, 0x0708); },
       bytes({3, 0x0B, '6', 0x15, 1, 5, 6, 7, 8, 1, 2, 3, 4}), 0},
      {"command_36_16", [] { return command_36_16(0, 0, 0x0102, 0x0304, 0x0506, 0x0708); },
       bytes({3, 0x0B, '6', 0x16, 1, 1, 2, 3, 4, 5, 6, 7, 8}), 0},
      {"command_36_17", [] { return command_36_17(0, 0, 0xA1B2, 0xC3D4); },
       bytes({3, 7, '6', 0x17, 1, 0xA1, 0xB2, 0xC3, 0xD4}), 0},
      {"command_36_clear", [] { return command_36_clear(0, 0, 0x21); }, bytes({3, 3, '6', 0x21, 0}), 0},
      {"command_36_set", [] { return command_36_set(0, 0, 0x21); }, bytes({3, 3, '6', 0x21, 1}), 0},
      {"command_36_4f", [] { return command_36_4f(0, 0, 200); }, bytes({3, 3, '6', 'O', 200}), 200},
      {"command_35", [&] { return command_35(0, 0, 9, &record); }, bytes({3, 2, '5', 9}), 0},
      {"command_34", [] { return command_34(0, 0, 0x44); }, bytes({3, 2, '4', 0x44}), 0},
      {"command_34_0a", [] { return command_34_0a(0, 0, 0x44); }, bytes({3, 3, '4', 0x0A, 0x44}), 0},
      {"command_3a_ff", [] { return command_3a_ff(0, 0); }, bytes({3, 2, ':', 0xFF}), 0},
      {"command_36_3f (1)", [] { return command_36_3f(0, 0, 1); }, bytes({3, 4, '6', '?', 1, 5}), 0},
      {"command_36_3f (2)", [] { return command_36_3f(0, 0, 2); }, bytes({3, 3, '6', '?', 2}), 0},
      {"send_report_id5", [] { return send_report_id5(); }, bytes({5, 2, 0}), 0},
  };
  for (const WireCase& c : cases) {
    sim.clear_traffic();
    EXPECT_EQ(c.call(), c.result) << c.name;
    ASSERT_TRUE(sim.wait_for_commands(1, 1000)) << c.name;
    const auto received = sim.received_commands();
    ASSERT_EQ(received.size(), 1u) << c.name;
    EXPECT_EQ(received[0], c.written) << c.name;
    EXPECT_EQ(sim.received_bytes(), c.written.size()) << c.name << ": the report is not padded";
  }
  EXPECT_EQ(sim.state().family.sub_flags[0x21], 1);
}

TEST_F(CommandFamily, ValuesComeFromTheirReplyBytes) {
  sim.update([](sim::ControllerState& s) {
    s.family.state_byte = 0x5C;
    s.family.state_word = 0xBEEF;
    s.family.rx_channels = 40;
    s.family.tx_channels = 24;
    s.family.value35[9] = 0x77;
  });
  ValueRecord5 record;
  std::memset(&record, 0xEE, sizeof record);
  ASSERT_EQ(read_state_byte(0, 0, &record), 0);
  EXPECT_EQ(Bytes(record.bytes, record.bytes + 5), bytes({0x5C, 0, 0, 0, 0}));
  ASSERT_EQ(read_state_word(0, 0, &record), 0);
  EXPECT_EQ(Bytes(record.bytes, record.bytes + 5), bytes({0xEF, 0xBE, 0, 0, 0}));
  library.ranges.rx_total = library.ranges.tx_total = 0;
  ASSERT_EQ(read_sensor_size(0, 0, &record), 0);
  EXPECT_EQ(Bytes(record.bytes, record.bytes + 5), bytes({40, 24, 0, 0, 0}));
  EXPECT_EQ(library.ranges.rx_total, 40);
  EXPECT_EQ(library.ranges.tx_total, 24);
  ASSERT_EQ(command_35(0, 0, 9, &record), 0);
  EXPECT_EQ(Bytes(record.bytes, record.bytes + 5), bytes({0x77, 9, 0, 0, 0}));
}

// The controller's answer with one byte changed: the command's own test
// decides. Commands of the direct pattern fail each attempt at once; the
// exchange's commands get the reply (its class and sub are right) and fail
// it themselves.
struct AcceptCase {
  std::string name;
  std::function<int()> call;
  int index;  // reply byte changed
  uint8_t value;
  int result;
};

TEST_F(CommandFamily, RepliesAreAcceptedByExactlyTheBytesTheyMustCarry) {
  ValueRecord5 record{};
  uint8_t out[64];
  const AcceptCase cases[] = {
      {"3f_4d, high byte of the echo", [] { return command_3f_4d(0, 0, 0x1234); }, 5, 0x13, -1},
      {"3f_6c, echo of b", [] { return command_3f_6c(0, 0, 7, 9); }, 5, 8, -1},
      {"3f_6c, echo of a is not looked at", [] { return command_3f_6c(0, 0, 7, 9); }, 4, 6, 1},
      {"reset, length", [] { return reset_controller(0, 0); }, 1, 2, -1},
      {"state byte, length", [&] { return read_state_byte(0, 0, &record); }, 1, 5, -1},
      {"ready, length is not looked at", [] { return check_controller_ready(0, 0); }, 1, 9, 0},
      {"3a_fe, status", [] { return command_3a_fe(0, 0); }, 4, 0, -1},
      {"3a_04, length", [] { return command_3a_04(0, 0); }, 1, 4, -1},
      {"sensor size, length", [&] { return read_sensor_size(0, 0, &record); }, 1, 5, -1},
      {"41, length", [] { return command_41(0, 0); }, 1, 2, -1},
      {"36_12_13 (1) answered with 0x12", [] { return command_36_12_13(0, 0, 1); }, 3, 0x12, 0},
      {"36_12_13, sub 0x14", [] { return command_36_12_13(0, 0, 1); }, 3, 0x14, -1},
      {"36_12_13, length", [] { return command_36_12_13(0, 0, 1); }, 1, 3, -1},
      {"36_3e, the value is not looked at", [] { return command_36_3e(0, 0, 5); }, 4, 6, 0},
      {"36_15, length is not looked at", [] { return command_36_15(0, 0, 1, 2, 3, 4); }, 1, 9, 0},
      {"36_16, sub", [] { return command_36_16(0, 0, 1, 2, 3, 4); }, 3, 0x15, -1},
      {"36_set, flag", [] { return command_36_set(0, 0, 0x21); }, 4, 0, -1},
      {"36_clear, sub", [] { return command_36_clear(0, 0, 0x21); }, 3, 0x22, -1},
      {"36_4f, length", [] { return command_36_4f(0, 0, 3); }, 1, 4, -1},
      {"35, echo", [&] { return command_35(0, 0, 9, &record); }, 3, 8, -1},
      {"34, class", [] { return command_34(0, 0, 1); }, 2, '4', -1},
      {"34_0a, length", [] { return command_34_0a(0, 0, 1); }, 1, 3, -1},
      {"features, class", [&] { return query_features(0, 0, out); }, 2, '7', -1},
  };
  for (const AcceptCase& c : cases) {
    sim.clear_faults();
    sim::Fault fault;
    fault.times = -1;
    fault.rewrite = [&c](std::vector<uint8_t>& reply) { reply[static_cast<size_t>(c.index)] = c.value; };
    sim.add_fault(fault);
    EXPECT_EQ(c.call(), c.result) << c.name;
  }
}

TEST_F(CommandFamily, FullReportCommandsWriteSixtyFourBytes) {
  struct Case {
    std::function<int()> call;
    uint8_t class_byte, sub_byte;
  };
  const Case cases[] = {{[] { return command_41_00(0, 0); }, 'A', 0x00},
                        {[] { return command_41_ff(0, 0); }, 'A', 0xFF},
                        {[] { return command_3a_e0(0, 0); }, ':', 0xE0},
                        {[] { return command_3a_10(0, 0); }, ':', 0x10}};
  for (const Case& c : cases) {
    sim.clear_traffic();
    EXPECT_EQ(c.call(), 0);
    EXPECT_EQ(sim.received_commands(), std::vector<Bytes>{bytes({3, 2, c.class_byte, c.sub_byte})});
    EXPECT_EQ(sim.received_bytes(), 64u);
  }
}

TEST_F(CommandFamily, FullReportCommandPassesOverAReplyWithoutItsStatus) {
  sim::Fault fault = sim::no_reply('A', 0xFF);
  fault.extra = {{50, bytes({3, 3, 'A', 0xFF, 0})}, {150, bytes({3, 3, 'A', 0xFF, 1})}};
  sim.add_fault(fault);
  Stopwatch watch;
  EXPECT_EQ(command_41_ff(0, 0), 0);
  EXPECT_NEAR(watch.ms(), 150, 60);
  EXPECT_EQ(sim.received_count(), 1u) << "one attempt";
}

TEST_F(CommandFamily, PayloadIsAsLongAsTheLengthByteSays) {
  // The payload is as long as the length byte says, 60 bytes at most (a
  // longer report never gets past the link).
  struct Case {
    std::string name;
    std::function<int(uint8_t*)> call;
    int length_byte;
    int copied;
    int result;
  };
  const Case cases[] = {
      {"level, 62", [](uint8_t* out) { return read_controller_level(0, 0, out); }, 62, 60, 60},
      {"level, 6", [](uint8_t* out) { return read_controller_level(0, 0, out); }, 6, 4, 4},
      {"level, 2", [](uint8_t* out) { return read_controller_level(0, 0, out); }, 2, 0, 0},
      {"features, 62", [](uint8_t* out) { return query_features(0, 0, out); }, 62, 60, 0},
      {"features, 26", [](uint8_t* out) { return query_features(0, 0, out); }, 26, 24, 0},
      {"features, 2", [](uint8_t* out) { return query_features(0, 0, out); }, 2, 0, 0},
  };
  sim.update([](sim::ControllerState& s) {
    s.family.level = Bytes(60, 0x4C);
    s.family.features = Bytes(60, 0x46);
  });
  for (const Case& c : cases) {
    sim.clear_faults();
    sim.add_fault(sim::wrong_byte(-1, -1, 1, static_cast<uint8_t>(c.length_byte), -1));
    uint8_t out[80];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(c.call(out), c.result) << c.name;
    for (int i = 0; i < 80; ++i) {
      EXPECT_EQ(out[i] != 0xEE, i < c.copied) << c.name << " byte " << i;
    }
  }
}

TEST_F(CommandFamily, ControllerLevelIsThePayloadBehindClassAndSub) {
  sim.update([](sim::ControllerState& s) { s.family.level = bytes({9, 1, 2, 3}); });
  uint8_t out[64] = {};
  EXPECT_EQ(read_controller_level(0, 0, out), 4);
  EXPECT_EQ(Bytes(out, out + 4), bytes({9, 1, 2, 3}));
  EXPECT_EQ(sim.received_commands()[0], bytes({3, 2, '?', 'X'}));
}

TEST_F(CommandFamily, Command364fValuesIncludeOneHundredTen) {
  // 110 is a value like any other; failures are -1.
  EXPECT_EQ(command_36_4f(0, 0, 110), 110);
  EXPECT_EQ(command_36_4f(0, 0, 0), 0);
  sim.add_fault(sim::wrong_byte('6', 'O', 1, 4, 3));
  EXPECT_EQ(command_36_4f(0, 0, 110), -1);
}

TEST_F(CommandFamily, SlowCommand364fTimeoutIsMinusOneNotOneHundredTen) {
  // Two wrong replies, then none: the last attempt times out.
  sim.add_fault(sim::wrong_byte('6', 'O', 1, 4, 2));
  sim.add_fault(sim::no_reply('6', 'O'));
  Stopwatch watch;
  EXPECT_EQ(command_36_4f(0, 0, 110), -1);
  EXPECT_NEAR(watch.ms(), 3100, 200);
  EXPECT_EQ(sim.received_count(), 3u);
}

TEST_F(CommandFamily, RestartCommandsResetTheControllerAfterwards) {
  EXPECT_EQ(command_36_3d(0, 0), 0);
  EXPECT_EQ(command_36_49(0, 0, 1), 0);
  const auto received = sim.received_commands();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0], bytes({3, 2, '6', '='}));
  EXPECT_EQ(received[1], bytes({3, 1, 'g'}));
  EXPECT_EQ(received[2], bytes({3, 3, '6', 'I', 1}));
  EXPECT_EQ(received[3], bytes({3, 1, 'g'}));
  const auto traffic = sim.traffic();
  EXPECT_GE(traffic[2].at_ms - traffic[1].at_ms, 95) << "100 ms before the reset";
  EXPECT_EQ(sim.state().family.resets, 2);
  EXPECT_EQ(sim.state().family.hold_flag, 1);

  // A refused first command: no reset follows.
  sim.clear_traffic();
  sim.add_fault(sim::wrong_byte('6', '=', 1, 3, 3));
  EXPECT_EQ(command_36_3d(0, 0), -1);
  EXPECT_EQ(sim.received_count(), 3u);
  EXPECT_EQ(sim.state().family.resets, 2);
}

TEST_F(CommandFamily, SlowHoldCommandWaitsFiveSecondsPerAttempt) {
  sim.add_fault(sim::no_reply('6', 'I'));
  Stopwatch watch;
  EXPECT_EQ(command_36_49(0, 0, 0), 0);
  EXPECT_NEAR(watch.ms(), 5100, 200);
  EXPECT_EQ(sim.received_commands()[1], bytes({3, 3, '6', 'I', 0}));
}

TEST_F(CommandFamily, UnansweredCommandsReportFailedWrites) {
  EXPECT_EQ(command_36_3f(0, 0, 3), -1);
  EXPECT_EQ(command_36_3f(0, 0, 0), -1);
  usleep(20000);
  EXPECT_EQ(sim.received_count(), 0u) << "nothing written for another v";

  sim.vanish();
  usleep(50000);
  EXPECT_EQ(command_36_3f(0, 0, 1), -1);
  EXPECT_EQ(command_3a_ff(0, 0), -1);
  EXPECT_EQ(send_report_id5(), -1);
}

TEST_F(CommandFamily, ClosedLinkSendsNothing) {
  close_link(0, 0);
  ValueRecord5 record{};
  uint8_t out[64];
  Stopwatch watch;
  EXPECT_EQ(read_controller_level(0, 0, out), -1);
  EXPECT_EQ(reset_controller(0, 0), -1);
  EXPECT_EQ(read_sensor_size(0, 0, &record), -1);
  EXPECT_EQ(command_41(0, 0), -1);
  EXPECT_EQ(command_36_4f(0, 0, 1), -1);
  EXPECT_EQ(query_features(0, 0, out), -1);
  EXPECT_EQ(command_36_3f(0, 0, 1), -1);
  EXPECT_EQ(command_3a_ff(0, 0), -1);
  EXPECT_EQ(send_report_id5(), -1) << "written regardless, and the write fails";
  EXPECT_LT(watch.ms(), 50);
  EXPECT_EQ(command_41_00(0, 0), -1) << "written regardless: three failed writes";
  EXPECT_EQ(sim.received_count(), 0u);
}

}  // namespace
}  // namespace tmode
