// The simulated firmware's commands: a table from class and sub byte to the
// handler that updates the state and builds the replies. Each command family
// registers its own entries.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "sim/controller_state.h"

namespace tmode::sim {

using Bytes = std::vector<uint8_t>;

// 0x03, payload length, payload.
Bytes frame_report(std::span<const uint8_t> payload);

struct CommandContext {
  ControllerState& state;
  std::vector<Bytes>& replies;  // framed reports, sent in order
  // 0 or more: after the replies the node closes, and a new one comes back
  // this many milliseconds later (a controller restarting).
  int node_restart_ms = -1;
  // More than 0: the replies go out this many a millisecond, as a
  // controller streams a long series of reports, instead of in one burst.
  int reports_per_ms = 0;

  void reply(std::initializer_list<uint8_t> payload) { replies.push_back(frame_report(payload)); }
  void reply(std::span<const uint8_t> payload) { replies.push_back(frame_report(payload)); }
  void reply_raw(Bytes report) { replies.push_back(std::move(report)); }
};

// Byte i of a packet, 0 beyond its end: a short packet is answered, not
// read past.
inline uint8_t packet_byte(std::span<const uint8_t> packet, size_t i) {
  return i < packet.size() ? packet[i] : 0;
}

// packet: the command packet (class byte first), as framed by the library.
using CommandHandler = void (*)(CommandContext& context, std::span<const uint8_t> packet);

inline constexpr int kAnySubByte = -1;

struct CommandEntry {
  uint8_t class_byte;
  int sub_byte;  // kAnySubByte: the class alone selects the entry
  CommandHandler handler;
};

class CommandTable {
 public:
  void add(CommandEntry entry) { entries_.push_back(entry); }
  // The entry for this packet: an exact sub byte wins over a class-only one.
  const CommandEntry* find(std::span<const uint8_t> packet) const;

 private:
  std::vector<CommandEntry> entries_;
};

// Each family of commands the simulated firmware answers.
void add_info_commands(CommandTable& table);
void add_controller_commands(CommandTable& table);
void add_store_commands(CommandTable& table);
void add_register_commands(CommandTable& table);
void add_parameter_block_commands(CommandTable& table);
void add_firmware_commands(CommandTable& table);

// The table with every family registered.
const CommandTable& full_command_table();

}  // namespace tmode::sim
