// Firmware package files: a header of 80 bytes (version 1) or 162 bytes
// (version 2), a directory of 10-byte entries, an identity record, the main
// records and, in version 2, up to 20 checksummed blocks of further records.
// Load, send, finish.
#pragma once

#include <cstdint>

#include "maintenance/firmware_record.h"

namespace tmode {

inline constexpr int kPackageHeaderV1 = 80;
inline constexpr int kPackageHeaderV2 = 162;
inline constexpr int kDirectoryEntrySize = 10;
inline constexpr int kIdentityRecordSize = 10;
inline constexpr int kPackageRecordCapacity = 4096;
inline constexpr int kPackageBlockCapacity = 20;
inline constexpr int kBlockRecordCapacity = 32;

struct PackageBlock {
  uint16_t count;              // records held
  uint16_t computed_checksum;  // 0xAA55 plus every byte of its records
  bool valid;                  // complete, and the checksum matches the header
  FirmwareRecord records[kBlockRecordCapacity];
};

struct FirmwarePackage {
  uint8_t header[kPackageHeaderV2];  // 80 or 162 bytes used
  int version;                       // 0 when nothing is loaded
  uint8_t identity_entry[kDirectoryEntrySize];
  uint8_t record_entry[kDirectoryEntrySize];
  uint8_t identity_record[kIdentityRecordSize];
  uint16_t main_count;
  FirmwareRecord main_records[kPackageRecordCapacity];
  uint16_t block_count;
  PackageBlock blocks[kPackageBlockCapacity];
};

// Loads and verifies a package into the library state. 0, or -1: the file
// cannot be opened or read, a header length other than 80 or 162, a
// directory entry with the wrong record size, a record entry before any
// identity entry, more than 4096 main records, a version 2 package with 0 or
// more than 20 blocks or a block of more than 32 records, a record to be sent
// with a length byte above 32, a package checksum that does not add up. A
// version 2 block that is incomplete or fails its checksum is kept but marked
// invalid. A refused package leaves nothing loaded. Prints nothing.
int load_firmware_package(const char* path);

// The main records, then the records of each valid block in block order;
// each record tried up to 5 times with a 10 ms pause before every attempt.
// Stops at the first record that is not sendable or refused 5 times (-1).
// -1 when the link is not open; 0 otherwise (nothing loaded: nothing sent).
int send_firmware_package();

// Writes 0x03, 0x06, ':', 0x05, L, P (L = 32 * the main records, low 16
// bits; P = the header's finish parameter) by the direct pattern, 3 seconds
// per try; the controller answers 0x03, 0x03, ':', 0x05, 1. 0; -1 for a link
// not open or a wrong answer; 110 when the last try timed out.
int finish_firmware_package();

}  // namespace tmode
