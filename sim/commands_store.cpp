// The word stores and the 26-byte records: 'C' / 'B' for the first store,
// '6','F','z' / '6','G','z' for the second, '6','J' / '6','K' for records.
#include "sim/command_table.h"

namespace tmode::sim {

namespace {

using Packet = std::span<const uint8_t>;

uint8_t low(uint16_t w) { return static_cast<uint8_t>(w & 0xFF); }
uint8_t high(uint16_t w) { return static_cast<uint8_t>(w >> 8); }
uint16_t word_at(Packet p, size_t i) {
  return static_cast<uint16_t>(packet_byte(p, i) | (packet_byte(p, i + 1) << 8));
}

void read_word(CommandContext& c, Packet p) {
  const uint8_t i = packet_byte(p, 1);
  const uint16_t w = c.state.family.store[i];
  c.reply({'C', i, low(w), high(w)});
}

// Written words are acknowledged with class 'X'.
void write_word(CommandContext& c, Packet p) {
  const uint8_t i = packet_byte(p, 1);
  c.state.family.store[i] = word_at(p, 2);
  c.reply({'X', i});
}

void read_ext_word(CommandContext& c, Packet p) {
  if (packet_byte(p, 2) != 'z') return;
  const uint8_t i = packet_byte(p, 3);
  const uint16_t w = c.state.family.ext_store[i];
  c.reply({'6', 'F', 'z', i, low(w), high(w)});
}

void write_ext_word(CommandContext& c, Packet p) {
  if (packet_byte(p, 2) != 'z') return;
  const uint8_t i = packet_byte(p, 3);
  c.state.family.ext_store[i] = word_at(p, 4);
  c.reply({'6', 'G', 'z', i, 1});
}

void read_record(CommandContext& c, Packet p) {
  const auto& record = c.state.family.records[packet_byte(p, 2)];
  Bytes payload{'6', 'J'};
  payload.insert(payload.end(), record.begin(), record.end());
  c.reply(payload);
}

void write_record(CommandContext& c, Packet p) {
  const uint8_t n = packet_byte(p, 2);
  auto& record = c.state.family.records[n];
  for (size_t k = 0; k < record.size(); ++k) record[k] = packet_byte(p, 3 + k);
  c.reply({'6', 'K', n});
}

}  // namespace

void add_store_commands(CommandTable& table) {
  table.add({'C', kAnySubByte, read_word});
  table.add({'B', kAnySubByte, write_word});
  table.add({'6', 'F', read_ext_word});
  table.add({'6', 'G', write_ext_word});
  table.add({'6', 'J', read_record});
  table.add({'6', 'K', write_record});
}

}  // namespace tmode::sim
