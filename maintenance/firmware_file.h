// Firmware record files: a header of at most 54 bytes, an optional 32-byte
// extension block, the main records and the extra records that the loader
// distributes over four record lists. Load, send, finish.
#pragma once

#include <cstdint>

#include "maintenance/firmware_record.h"

namespace tmode {

inline constexpr int kRecordFileHeaderSize = 54;
inline constexpr int kExtensionBlockSize = 32;
inline constexpr int kMainRecordCapacity = 7168;
inline constexpr int kRecordListCount = 4;
// Lists 1 to 4 hold 32, 32, 32 and 64 records.
inline constexpr int kRecordListCapacity[kRecordListCount] = {32, 32, 32, 64};

// The header's fields, decoded from the bytes at their file offsets.
struct RecordFileHeader {
  uint8_t length;             // offset 0
  uint16_t main_count;        // 17
  uint32_t main_checksum;     // 19: 0xAA55 plus every byte of the main records
  uint16_t payload_size;      // 25: 32 (each record then takes 36 bytes)
  uint16_t finish_w1;         // 29
  uint16_t finish_w2;         // 31
  uint8_t extension_flag;     // 35
  uint16_t list_count[kRecordListCount];     // lists 1 to 4 (stored 1, 2, 4, 3)
  uint16_t list_checksum[kRecordListCount];  // 0xAA55 plus every byte, mod 65536
  uint16_t extra_count;       // 52
};

struct RecordFile {
  uint8_t header_bytes[kRecordFileHeaderSize];
  RecordFileHeader header;
  bool has_extension;  // W1 was 0 and the extension flag set
  uint8_t extension[kExtensionBlockSize];  // byte 0 is 32
  int main_read;       // main records held (the header's count once loaded)
  FirmwareRecord main_records[kMainRecordCapacity];
  int list_held[kRecordListCount];
  FirmwareRecord list1[32];
  FirmwareRecord list2[32];
  FirmwareRecord list3[32];
  FirmwareRecord list4[64];
};

// Record list k (0 to 3) of the loaded file.
FirmwareRecord* record_list(RecordFile& file, int k);

// Loads and verifies a record file into the library state. 0, or -1: the
// file cannot be opened or read, a header length above 54, a payload size
// other than 32, more main or list records than the areas hold, records
// announced with a main count of 0, a missing extension block, a record
// length byte above 32, too few main records or records for a list, a list
// or main checksum that does not add up. A refused file leaves nothing
// loaded. Prints nothing.
int load_firmware_file(const char* path);

// The main records, then lists 1, 2, 3 and 4, with send_record_list;
// stops at the first failure. Nothing loaded: sends nothing, 0. -1 when the
// link is not open.
int send_firmware();

// ':', 0x05 with W1 and W2 (or extension bytes 1 to 3 and W2 when the file
// had an extension block), 10 seconds per attempt; the controller answers
// ':', 0x05, 1. 0; -1 for a link not open or a wrong answer; 110 when the
// last attempt timed out.
int finish_firmware_update();

}  // namespace tmode
