// ':',0x01 firmware records, ':',0x05 the finishing commands, ':',0x0C the
// stamp record, '6','U' the firmware word and '9',0x03 the 32-bit value.
#include "sim/command_table.h"

namespace tmode::sim {

namespace {

constexpr size_t kRecordHeader = 5;  // ':', 0x01, location 0, location 1, checksum
constexpr size_t kStampRecordSize = 52;

// ':',0x01,loc0,loc1,checksum,data: answers ':',0x01,loc0,loc1 and, at reply
// byte 6, the checksum the data adds up to (the one sent when it is right).
void firmware_record(CommandContext& c, std::span<const uint8_t> packet) {
  if (packet.size() < kRecordHeader) {
    c.reply({':', 0x01, 0, 0, 0, 0});
    return;
  }
  unsigned sum = 0x55;
  for (size_t i = kRecordHeader; i < packet.size(); ++i) sum += packet[i];
  const auto computed = static_cast<uint8_t>(sum);
  const bool good = computed == packet[4] && packet.size() - kRecordHeader <= 32;
  if (good) {
    c.state.firmware.records.push_back(
        {{packet[2], packet[3]}, packet[4], std::vector<uint8_t>(packet.begin() + kRecordHeader, packet.end())});
  } else {
    ++c.state.firmware.refused_records;
  }
  c.reply({':', 0x01, packet[2], packet[3], computed, static_cast<uint8_t>(good ? 1 : 0)});
}

void finish_update(CommandContext& c, std::span<const uint8_t> packet) {
  c.state.firmware.finish_commands.emplace_back(packet.begin(), packet.end());
  c.reply({':', 0x05, 0x01});
}

void stamp_record(CommandContext& c, std::span<const uint8_t> packet) {
  const bool whole = packet.size() == 2 + kStampRecordSize;
  if (whole) {
    c.state.firmware.stamp_record.assign(packet.begin() + 2, packet.end());
    ++c.state.firmware.stamp_writes;
  }
  c.reply({':', 0x0C, static_cast<uint8_t>(whole ? 1 : 0)});
}

void firmware_word(CommandContext& c, std::span<const uint8_t>) {
  Bytes payload{'6', 'U'};
  payload.insert(payload.end(), c.state.firmware.firmware_word_reply.begin(),
                 c.state.firmware.firmware_word_reply.end());
  c.reply(payload);
}

void value32(CommandContext& c, std::span<const uint8_t>) {
  const auto& v = c.state.firmware.value32;
  c.reply({'9', 0x05, v[0], v[1], v[2], v[3]});
}

}  // namespace

void add_firmware_commands(CommandTable& table) {
  table.add({':', 0x01, firmware_record});
  table.add({':', 0x05, finish_update});
  table.add({':', 0x0C, stamp_record});
  table.add({'6', 'U', firmware_word});
  table.add({'9', 0x03, value32});
}

}  // namespace tmode::sim
