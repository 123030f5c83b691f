// The 36-byte firmware record, the unit of every firmware transfer, and the
// command that sends one.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kFirmwareRecordSize = 36;
inline constexpr int kRecordDataSize = 32;

struct FirmwareRecord {
  uint8_t location[2];            // sent as packet bytes 2 and 3
  uint8_t data[kRecordDataSize];
  uint8_t checksum;               // 0x55 plus all 32 data bytes, modulo 256
  uint8_t length;                 // data bytes to send, at most 32
};
static_assert(sizeof(FirmwareRecord) == kFirmwareRecordSize);

// 0x55 plus the 32 data bytes, modulo 256, whatever the length byte says.
uint8_t record_checksum(const FirmwareRecord& record);

// A record that may go on the wire: its checksum adds up and its length
// byte is at most 32.
bool record_is_sendable(const FirmwareRecord& record);

// One record command: ':', 0x01, the location bytes, the checksum and
// `length` data bytes, exchanged with 3 seconds per attempt; the controller
// echoes the checksum at reply byte 6. 0, or -1 (link not open, length
// outside 0..32, no reply, a wrong echo).
int send_firmware_record(uint8_t location0, uint8_t location1, int length, uint8_t checksum,
                         const uint8_t* data);

// Sends `count` records in order, reporting progress before each record
// (firmware_progress.h; by default "\r(I) n%", n being 100 * the record's
// index divided by the loaded record file's number of main records, by
// `count` when none is loaded). A record that is not sendable stops the list
// before it is sent; a record is tried up to 5 times, 10 ms apart. 0, or -1
// (link not open, a negative count, a bad record, a record refused 5 times).
int send_record_list(int count, const FirmwareRecord* records);
// The same as one part of a longer transfer: `sent_before` records went
// before it of `transfer_total` in all (for the progress's counts).
int send_record_list_within(int count, const FirmwareRecord* records, int sent_before, int transfer_total);

// How a record's attempts are paced: the record file pauses 10 ms after each
// failed attempt, the package 10 ms before every attempt.
enum class RecordPacing { pause_after_failure, pause_before_each };

// Up to 5 attempts of send_firmware_record for one record. 0, or -1.
int send_record_attempts(const FirmwareRecord& record, RecordPacing pacing);

}  // namespace tmode
