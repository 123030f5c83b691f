#include "tests/support/firmware_files.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace tmode::test {

namespace {

constexpr uint32_t kFileSeed = 0xAA55;

uint32_t byte_sum(const std::vector<RecordBytes>& records) {
  uint32_t sum = 0;
  for (const RecordBytes& record : records) {
    for (uint8_t byte : record) sum += byte;
  }
  return sum;
}

void append(FileBytes& out, const std::vector<RecordBytes>& records) {
  for (const RecordBytes& record : records) out.insert(out.end(), record.begin(), record.end());
}

}  // namespace

RecordBytes firmware_record(uint16_t location, uint8_t seed, uint8_t length) {
  RecordBytes record{};
  record[0] = static_cast<uint8_t>(location & 0xFF);
  record[1] = static_cast<uint8_t>(location >> 8);
  unsigned sum = 0x55;
  // A short record (the last of an image) is padded with zeros.
  for (int i = 0; i < 32 && i < length; ++i) {
    record[2 + i] = static_cast<uint8_t>(seed * 7 + i * 13 + (location >> 3) + 1);
    sum += record[2 + i];
  }
  record[34] = static_cast<uint8_t>(sum);
  record[35] = length;
  return record;
}

std::vector<RecordBytes> numbered_records(int count, int first) {
  std::vector<RecordBytes> records;
  for (int i = first; i < first + count; ++i) {
    records.push_back(firmware_record(static_cast<uint16_t>(i), static_cast<uint8_t>(i)));
  }
  return records;
}

RecordBytes with_bad_checksum(RecordBytes record) {
  record[34] = static_cast<uint8_t>(record[34] + 1);
  return record;
}

std::vector<uint8_t> record_command(const RecordBytes& record) {
  const int length = record[35] < 32 ? record[35] : 32;
  std::vector<uint8_t> frame;
  for (int b : {0x03, length + 5, int{':'}, 0x01, int{record[0]}, int{record[1]}, int{record[34]}}) {
    frame.push_back(static_cast<uint8_t>(b));
  }
  for (int i = 0; i < length; ++i) frame.push_back(record[2 + static_cast<size_t>(i)]);
  return frame;
}

void put_le16(FileBytes& bytes, size_t offset, uint16_t value) {
  if (bytes.size() < offset + 2) bytes.resize(offset + 2);
  bytes[offset] = static_cast<uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put_le32(FileBytes& bytes, size_t offset, uint32_t value) {
  put_le16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
  put_le16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

FileBytes build_record_file(const RecordFilePlan& plan) {
  FileBytes header(54, 0);
  header[0] = plan.header_length;
  put_le16(header, 17, static_cast<uint16_t>(plan.main.size()));
  put_le32(header, 19, kFileSeed + byte_sum(plan.main));
  put_le16(header, 25, 32);
  put_le16(header, 29, plan.extension ? 0 : plan.w1);
  put_le16(header, 31, plan.w2);
  header[35] = plan.extension ? 1 : 0;
  const size_t list_at[4] = {36, 40, 48, 44};  // list 4 comes before list 3
  for (int k = 0; k < 4; ++k) {
    put_le16(header, list_at[k], static_cast<uint16_t>(plan.lists[k].size()));
    put_le16(header, list_at[k] + 2, static_cast<uint16_t>(kFileSeed + byte_sum(plan.lists[k])));
  }
  std::vector<RecordBytes> extras;
  if (plan.extras) {
    extras = *plan.extras;
  } else {
    for (const auto& list : plan.lists) extras.insert(extras.end(), list.begin(), list.end());
  }
  put_le16(header, 52, static_cast<uint16_t>(extras.size()));

  FileBytes file(header.begin(), header.begin() + plan.header_length);
  if (plan.extension) file.insert(file.end(), plan.extension_block.begin(), plan.extension_block.end());
  append(file, plan.main);
  append(file, extras);
  return file;
}

FileBytes build_package(const PackagePlan& plan) {
  const size_t header_length = plan.version == 2 ? 162 : 80;
  const uint32_t shift = plan.version == 2 ? 82 : 0;  // the loader adds it to every position
  const size_t identity_at = header_length + 20;
  const size_t records_at = identity_at + 10;

  FileBytes identity_entry(10, 0), record_entry(10, 0);
  put_le16(identity_entry, 0, 1);
  put_le16(identity_entry, 2, 10);
  put_le16(identity_entry, 4, 1);
  put_le32(identity_entry, 6, static_cast<uint32_t>(identity_at) - shift);
  put_le16(record_entry, 0, 2);
  put_le16(record_entry, 2, 36);
  put_le16(record_entry, 4, static_cast<uint16_t>(plan.main.size()));
  put_le32(record_entry, 6, static_cast<uint32_t>(records_at) - shift);

  FileBytes header(header_length, 0);
  put_le16(header, 0, static_cast<uint16_t>(header_length));
  uint32_t sum = kFileSeed + byte_sum(plan.main);
  for (uint8_t byte : identity_entry) sum += byte;
  for (uint8_t byte : record_entry) sum += byte;
  for (uint8_t byte : plan.identity) sum += byte;
  put_le16(header, 72, static_cast<uint16_t>(sum));
  put_le16(header, 74, plan.finish_parameter);
  put_le16(header, kPackageEntryCountAt, 2);

  FileBytes file = header;
  const FileBytes& first = plan.record_entry_first ? record_entry : identity_entry;
  const FileBytes& second = plan.record_entry_first ? identity_entry : record_entry;
  file.insert(file.end(), first.begin(), first.end());
  file.insert(file.end(), second.begin(), second.end());
  file.insert(file.end(), plan.identity.begin(), plan.identity.end());
  append(file, plan.main);

  if (plan.version == 2) {
    put_le32(file, 2, static_cast<uint32_t>(file.size() - header_length));
    put_le16(file, kPackageBlockCountAt, static_cast<uint16_t>(plan.blocks.size()));
    for (size_t k = 0; k < plan.blocks.size() && k < 20; ++k) {
      uint16_t checksum = static_cast<uint16_t>(kFileSeed + byte_sum(plan.blocks[k]));
      for (int bad : plan.bad_block_checksums) {
        if (static_cast<size_t>(bad) == k) ++checksum;
      }
      put_le16(file, 82 + 2 * k, static_cast<uint16_t>(plan.blocks[k].size()));
      put_le16(file, 122 + 2 * k, checksum);
    }
    for (const auto& block : plan.blocks) append(file, block);
  }
  return file;
}

TempFiles::TempFiles() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tmode-fw-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
}

TempFiles::~TempFiles() {
  if (dir_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string TempFiles::write(const std::string& name, const FileBytes& bytes) {
  const std::string path = dir_ + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace tmode::test
