// The plain controller commands: '?','X' / 'M' / 'l', 'g', '9', ':', 'A',
// '4', '5' and the '6' commands without a store behind them.
#include <chrono>

#include "sim/command_table.h"

namespace tmode::sim {

namespace {

using Packet = std::span<const uint8_t>;

// A restart: what was not committed is lost, and the node goes away for a
// while when the state asks for it.
void reset(CommandContext& c, Packet) {
  FamilyState& f = c.state.family;
  ++f.resets;
  c.state.parameters.revert();
  f.ready_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(f.ready_after_reset_ms);
  c.state.touch_mode = 0;
  c.state.switch_prepared = false;
  c.reply({'g'});
  if (f.node_gone_ms >= 0) c.node_restart_ms = f.node_gone_ms;
}

void controller_level(CommandContext& c, Packet) {
  Bytes payload{'?', 'X'};
  payload.insert(payload.end(), c.state.family.level.begin(), c.state.family.level.end());
  c.reply(payload);
}

// '?','M' and '?','l' echo their arguments.
void echo_two(CommandContext& c, Packet p) {
  c.reply({'?', p[1], packet_byte(p, 2), packet_byte(p, 3)});
}

void state_byte(CommandContext& c, Packet) { c.reply({'9', c.state.family.state_byte, 0, 0}); }

// '9',2 once ready; before that the controller still reports itself busy.
void readiness(CommandContext& c, Packet) {
  const bool ready = std::chrono::steady_clock::now() >= c.state.family.ready_at;
  c.reply({'9', static_cast<uint8_t>(ready ? 2 : 1)});
}

void state_word(CommandContext& c, Packet) {
  const uint16_t w = c.state.family.state_word;
  c.reply({'9', 4, static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)});
}

// ':' commands answered with their sub byte and 1; ':',0xFF is not answered.
void colon_ok(CommandContext& c, Packet p) { c.reply({':', p[1], 1}); }
void colon_unanswered(CommandContext& c, Packet p) {
  c.state.family.unanswered.emplace_back(p.begin(), p.end());
}

// 'A' alone, or 'A' with 0x00 / 0xFF in a full report.
void command_a(CommandContext& c, Packet p) {
  if (p.size() == 1) {
    c.reply({'A'});
  } else {
    c.reply({'A', p[1], 1});
  }
}

// '4', v and '4', 0x0A, v are answered with class '3' and v.
void command_4(CommandContext& c, Packet p) {
  if (p.size() >= 3 && p[1] == 0x0A) {
    c.reply({'3', p[2]});
  } else {
    c.reply({'3', packet_byte(p, 1), 0});
  }
}

void command_5(CommandContext& c, Packet p) {
  const uint8_t v = packet_byte(p, 1);
  c.reply({'5', v, c.state.family.value35[v], v});
}

void sensor_size(CommandContext& c, Packet) {
  c.reply({'6', 0x0F, c.state.family.rx_channels, c.state.family.tx_channels});
}

void switch_12_13(CommandContext& c, Packet p) { c.reply({'6', p[1], 0, 0}); }

void features(CommandContext& c, Packet) {
  Bytes payload{'6', 0x14};
  const auto& f = c.state.family.features;
  // A report carries at most 60 payload bytes behind class and sub.
  const size_t n = f.size() < 60 ? f.size() : 60;
  payload.insert(payload.end(), f.begin(), f.begin() + static_cast<long>(n));
  c.reply(payload);
}

// '6', 0x15 / 0x16 / 0x17 and their 16-bit values.
void values_15_17(CommandContext& c, Packet p) { c.reply({'6', p[1], 1}); }

void restart_prepare(CommandContext& c, Packet) { c.reply({'6', '='}); }

// '6', s, v: clear or set flag s; echoes all three.
void sub_flag(CommandContext& c, Packet p) {
  if (p.size() != 3) return;
  c.state.family.sub_flags[p[1]] = p[2];
  c.reply({'6', p[1], p[2]});
}

void hold(CommandContext& c, Packet p) {
  c.state.family.hold_flag = packet_byte(p, 2);
  c.reply({'6', 'I'});
}

// '6','O', a: answers with a, which command_36_4f takes as its value.
void echo_o(CommandContext& c, Packet p) { c.reply({'6', 'O', packet_byte(p, 2)}); }

void unanswered(CommandContext& c, Packet p) {
  c.state.family.unanswered.emplace_back(p.begin(), p.end());
}

}  // namespace

void add_controller_commands(CommandTable& table) {
  table.add({'?', 'X', controller_level});
  table.add({'?', 'M', echo_two});
  table.add({'?', 'l', echo_two});
  table.add({'g', kAnySubByte, reset});
  table.add({'9', 0, state_byte});
  table.add({'9', 1, readiness});
  table.add({'9', 2, state_word});
  table.add({':', 0xFE, colon_ok});
  table.add({':', 0x04, colon_ok});
  table.add({':', 0xE0, colon_ok});
  table.add({':', 0x10, colon_ok});
  table.add({':', 0xFF, colon_unanswered});
  table.add({'A', kAnySubByte, command_a});
  table.add({'4', kAnySubByte, command_4});
  table.add({'5', kAnySubByte, command_5});
  table.add({'6', 0x0F, sensor_size});
  table.add({'6', 0x12, switch_12_13});
  table.add({'6', 0x13, switch_12_13});
  table.add({'6', 0x14, features});
  table.add({'6', 0x15, values_15_17});
  table.add({'6', 0x16, values_15_17});
  table.add({'6', 0x17, values_15_17});
  table.add({'6', '=', restart_prepare});
  table.add({'6', '>', sub_flag});
  table.add({'6', '?', unanswered});
  table.add({'6', 'I', hold});
  table.add({'6', 'O', echo_o});
  table.add({'6', kAnySubByte, sub_flag});
}

}  // namespace tmode::sim
