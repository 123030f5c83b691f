// '?','J' read, '?','I' write and '?','K' commit of the parameter blocks;
// '?','H' selects the parameter area or the data word of a frame stream.
#include "sim/command_table.h"
#include "sim/front_end_restart.h"
#include "sim/parameter_store.h"
#include "sim/sensor_frames.h"

namespace tmode::sim {

namespace {

uint16_t stored_checksum(const std::vector<uint8_t>& block) {
  return static_cast<uint16_t>(block[2] | block[3] << 8);
}

// packet: '?', letter, type, position low, position high, ...
bool block_at(ControllerState& s, std::span<const uint8_t> packet, std::vector<uint8_t>*& block,
              size_t& position) {
  if (packet.size() < 6) return false;
  if (packet[2] < kParameterBlockTypes) block = &s.parameters.working[packet[2]];
  position = static_cast<size_t>(packet[3] | packet[4] << 8);
  return true;
}

void read_block(CommandContext& c, std::span<const uint8_t> packet) {
  std::vector<uint8_t>* block = nullptr;
  size_t position = 0;
  if (!block_at(c.state, packet, block, position)) return;
  const size_t count = packet[5] > 54 ? 54 : packet[5];
  Bytes payload{'?', 'J', packet[2], packet[3], packet[4]};
  for (size_t i = 0; i < count; ++i) {
    const size_t at = position + i;
    payload.push_back(block != nullptr && at < block->size() ? (*block)[at] : 0);
  }
  c.reply(payload);
}

void write_block(CommandContext& c, std::span<const uint8_t> packet) {
  std::vector<uint8_t>* block = nullptr;
  size_t position = 0;
  if (!block_at(c.state, packet, block, position)) return;
  const size_t count = packet[5];
  for (size_t i = 0; i < count && 6 + i < packet.size(); ++i) {
    if (block != nullptr && position + i < block->size()) (*block)[position + i] = packet[6 + i];
  }
  c.reply({'?', 'I', packet[2], packet[3], packet[4]});
}

// A block is committed only when its checksum holds; the reply's byte 6
// (payload byte 4) says whether it was.
void commit_block(CommandContext& c, std::span<const uint8_t> packet) {
  if (packet.size() < 3) return;
  const uint8_t type = packet[2];
  ParameterStore& p = c.state.parameters;
  bool sound = type < kParameterBlockTypes;
  if (type == 0) sound = firmware_software_checksum(p.working[0]) == stored_checksum(p.working[0]);
  if (type == 1) sound = firmware_hardware_checksum(p.working[1]) == stored_checksum(p.working[1]);
  if (sound) {
    p.committed[type] = p.working[type];
    ++p.commits;
    if (type == 1) restart_front_end(c.state);
  }
  c.reply({'?', 'K', type, 0, static_cast<uint8_t>(sound ? 1 : 0)});
}

void select_area(CommandContext& c, std::span<const uint8_t> packet) {
  if (packet.size() < 4) return;
  const auto word = static_cast<uint16_t>(packet[2] | packet[3] << 8);
  c.state.parameters.selected_area = word;
  // A data word starts its frame stream; any other word stops the stream.
  StreamState& stream = c.state.stream;
  Frame probe;
  stream.word = word;
  stream.active = produce_frame(c.state, word, probe);
  stream.frames = 0;
  stream.reports = 0;
  if (stream.active) ++stream.selections;
  c.reply({'?', 'H', packet[2], packet[3]});
}

}  // namespace

void add_parameter_block_commands(CommandTable& table) {
  table.add({'?', 'J', read_block});
  table.add({'?', 'I', write_block});
  table.add({'?', 'K', commit_block});
  table.add({'?', 'H', select_area});
}

}  // namespace tmode::sim
