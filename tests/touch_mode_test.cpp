#include <gtest/gtest.h>

#include "protocol/touch_mode.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;

class TouchMode : public SimLinkTest {};

TEST_F(TouchMode, ReadsTheModeInForce) {
  sim.update([](sim::ControllerState& s) { s.touch_mode = 2; });
  uint8_t out[64] = {};
  EXPECT_EQ(get_touch_mode(0, 0, out), 1);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(sim.received_commands()[0], bytes({0x03, 0x03, 0x3F, 0x65, 0x00}));
}

TEST_F(TouchMode, ReadWithAWrongEchoFails) {
  sim.add_fault(sim::wrong_byte('?', 'e', 4, 1, -1));
  uint8_t out[64] = {0xAB};
  EXPECT_EQ(get_touch_mode(0, 0, out), -1);
  EXPECT_EQ(out[0], 0xAB);
}

TEST_F(TouchMode, SwitchSendsPrepareThenSwitch) {
  EXPECT_EQ(set_touch_mode(0, 0, 3), 0);
  EXPECT_EQ(sim.received_commands(),
            (std::vector<std::vector<uint8_t>>{bytes({0x03, 0x04, 0x3F, 0x65, 0x02, 0x01}),
                                               bytes({0x03, 0x04, 0x3F, 0x65, 0x01, 0x03})}));
  EXPECT_EQ(sim.state().touch_mode, 3);
}

TEST_F(TouchMode, SwitchSendsTheLowEightBits) {
  sim.update([](sim::ControllerState& s) { s.mode_count = 256; });
  EXPECT_EQ(set_touch_mode(0, 0, 259), 0);
  EXPECT_EQ(sim.received_commands().back(), bytes({0x03, 0x04, 0x3F, 0x65, 0x01, 0x03}));
  EXPECT_EQ(set_touch_mode(0, 0, 256), 0);
  EXPECT_EQ(sim.state().touch_mode, 0);
}

TEST_F(TouchMode, WrongPrepareAnswerStopsTheSwitch) {
  sim.add_fault(sim::wrong_byte('?', 'e', 4, 0));
  EXPECT_EQ(set_touch_mode(0, 0, 3), -1);
  EXPECT_EQ(sim.received_count(), 1u) << "the switch is never written";
}

TEST_F(TouchMode, SwitchEchoingAnotherModeFails) {
  sim::Fault prepare_as_usual;  // the first '?','e' (the prepare) passes unchanged
  prepare_as_usual.class_byte = '?';
  prepare_as_usual.sub_byte = 'e';
  sim.add_fault(prepare_as_usual);
  sim.add_fault(sim::wrong_byte('?', 'e', 5, 2));
  EXPECT_EQ(set_touch_mode(0, 0, 3), -1);
}

TEST_F(TouchMode, SlowUnansweredPrepareDoesNotStopTheSwitch) {
  sim.add_fault(sim::no_reply('?', 'e', 3));
  Stopwatch watch;
  EXPECT_EQ(set_touch_mode(0, 0, 3), 0);
  EXPECT_GT(watch.ms(), 9190);
  EXPECT_LT(watch.ms(), 9700);
  EXPECT_EQ(sim.state().touch_mode, 3);
}

}  // namespace
}  // namespace tmode
