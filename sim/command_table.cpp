#include "sim/command_table.h"

namespace tmode::sim {

Bytes frame_report(std::span<const uint8_t> payload) {
  Bytes report;
  report.reserve(payload.size() + 2);
  report.push_back(0x03);
  report.push_back(static_cast<uint8_t>(payload.size()));
  report.insert(report.end(), payload.begin(), payload.end());
  return report;
}

const CommandEntry* CommandTable::find(std::span<const uint8_t> packet) const {
  if (packet.empty()) return nullptr;
  const CommandEntry* class_only = nullptr;
  for (const CommandEntry& entry : entries_) {
    if (entry.class_byte != packet[0]) continue;
    if (entry.sub_byte == kAnySubByte) {
      if (class_only == nullptr) class_only = &entry;
    } else if (packet.size() > 1 && entry.sub_byte == packet[1]) {
      return &entry;
    }
  }
  return class_only;
}

const CommandTable& full_command_table() {
  static const CommandTable table = [] {
    CommandTable built;
    add_info_commands(built);
    add_controller_commands(built);
    add_store_commands(built);
    add_register_commands(built);
    add_parameter_block_commands(built);
    add_firmware_commands(built);
    return built;
  }();
  return table;
}

}  // namespace tmode::sim
