// What the simulated firmware keeps of a firmware update: the records it
// took, the finishing commands, the stamp record and the values its queries
// answer with.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tmode::sim {

struct ReceivedRecord {
  uint8_t location[2];
  uint8_t checksum;
  std::vector<uint8_t> data;  // the bytes sent (the record's length)
};

struct FirmwareMemory {
  // ':',0x01: records whose checksum adds up (0x55 plus the bytes sent, the
  // rest of the 32 counting as zero), in order of arrival.
  std::vector<ReceivedRecord> records;
  int refused_records = 0;  // answered with the checksum they add up to
  // ':',0x05 packets as received (either finish command).
  std::vector<std::vector<uint8_t>> finish_commands;
  // ':',0x0C: the last stamp record written, and how many were.
  std::vector<uint8_t> stamp_record;
  int stamp_writes = 0;
  // '9',0x03: the value in reply bytes 4 to 7.
  std::array<uint8_t, 4> value32 = {0x78, 0x56, 0x34, 0x12};
  // '6','U': reply bytes 4 to 18 (byte 18 at 0xFF marks the word unset).
  std::array<uint8_t, 15> firmware_word_reply = {0, 0, 0, 0, 0, 0, 0x01, 0x02,
                                                 0, 0, 0, 0, 0x63, 0x10, 0};
};

}  // namespace tmode::sim
