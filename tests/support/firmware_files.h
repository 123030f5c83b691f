// Firmware record files and packages built from a short description, with
// every checksum right, so that a test states the file it needs in a few
// lines and spoils just the byte it is about.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tmode::test {

using RecordBytes = std::array<uint8_t, 36>;
using FileBytes = std::vector<uint8_t>;

// A record at this location (little-endian in bytes 0 and 1) whose data
// bytes follow from seed (zero beyond a length below 32), with its checksum
// and the length byte.
RecordBytes firmware_record(uint16_t location, uint8_t seed, uint8_t length = 32);
// count records at locations first, first + 1, ... with distinct data.
std::vector<RecordBytes> numbered_records(int count, int first = 0);
// The record with a checksum byte that does not add up.
RecordBytes with_bad_checksum(RecordBytes record);

// The framed record command that carries the record: 0x03, length + 5,
// ':', 0x01, location, checksum, the length's data bytes.
std::vector<uint8_t> record_command(const RecordBytes& record);

struct RecordFilePlan {
  std::vector<RecordBytes> main;
  // What lists 1 to 4 must end up holding: their counts and checksums.
  std::array<std::vector<RecordBytes>, 4> lists;
  // The extra records as they lie in the file; by default lists 1 to 4 in turn.
  std::optional<std::vector<RecordBytes>> extras;
  uint16_t w1 = 0x0102;
  uint16_t w2 = 0x0304;
  // An extension block after the header (W1 is written as 0 then).
  bool extension = false;
  std::array<uint8_t, 32> extension_block = {32, 0xE1, 0xE2, 0xE3};
  uint8_t header_length = 54;
};

FileBytes build_record_file(const RecordFilePlan& plan);

struct PackagePlan {
  int version = 1;
  std::vector<RecordBytes> main;
  std::array<uint8_t, 10> identity = {'P', 'L', 'V', 'X', 0x63, 0x00, 1, 2, 3, 4};
  uint16_t finish_parameter = 0x4321;
  std::vector<std::vector<RecordBytes>> blocks;  // version 2
  std::vector<int> bad_block_checksums;          // blocks whose header checksum is off by one
  bool record_entry_first = false;               // the directory names the records first
};

FileBytes build_package(const PackagePlan& plan);

// Header and field offsets the tests spoil.
inline constexpr int kPackageEntryCountAt = 78;
inline constexpr int kPackageBlockCountAt = 80;

void put_le16(FileBytes& bytes, size_t offset, uint16_t value);
void put_le32(FileBytes& bytes, size_t offset, uint32_t value);

// A temporary directory, removed with everything in it at the end.
class TempFiles {
 public:
  TempFiles();
  ~TempFiles();
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  // Writes the bytes to a file of that name in the directory; its path.
  std::string write(const std::string& name, const FileBytes& bytes);
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

}  // namespace tmode::test
