#include "maintenance/firmware_package.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "link/file_handle.h"
#include "maintenance/maintenance_state.h"
#include "link/link.h"
#include "link/report_utils.h"
#include "maintenance/byte_order.h"
#include "maintenance/firmware_progress.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr uint32_t kChecksumSeed = 0xAA55;
constexpr uint16_t kIdentityEntryType = 1;
constexpr int kVersion2PositionOffset = 82;

// Header offsets.
constexpr int kBlockAreaAt = 2;
constexpr int kPackageChecksumAt = 72;
constexpr int kFinishParameterAt = 74;
constexpr int kEntryCountAt = 78;
constexpr int kBlockCountAt = 80;
constexpr int kBlockRecordsAt = 82;
constexpr int kBlockChecksumAt = 122;


struct DirectoryEntry {
  uint16_t type;
  uint16_t record_size;
  uint16_t record_count;
  uint32_t position;
};

DirectoryEntry decode_entry(const uint8_t* b) {
  return {read_le16(b), read_le16(b + 2), read_le16(b + 4), read_le32(b + 6)};
}

bool read_bytes(FILE* file, void* out, size_t size) { return std::fread(out, 1, size, file) == size; }

bool seek_to(FILE* file, uint64_t position) {
  return position <= static_cast<uint64_t>(LONG_MAX) &&
         std::fseek(file, static_cast<long>(position), SEEK_SET) == 0;
}

bool records_fit_a_packet(const FirmwareRecord* records, int count) {
  for (int i = 0; i < count; ++i) {
    if (records[i].length > kRecordDataSize) return false;
  }
  return true;
}

// The directory: identity entries locate the identity record, a record entry
// the main records; the next entry follows where the last read ended.
int read_directory(FILE* file, FirmwarePackage& p, int extra_offset) {
  const int entries = static_cast<int16_t>(read_le16(p.header + kEntryCountAt));
  bool have_identity = false;
  for (int e = 0; e < entries; ++e) {
    uint8_t bytes[kDirectoryEntrySize];
    if (!read_bytes(file, bytes, sizeof bytes)) return -1;
    const DirectoryEntry entry = decode_entry(bytes);
    if (entry.type == kIdentityEntryType) {
      if (entry.record_size != kIdentityRecordSize) return -1;
      std::memcpy(p.identity_entry, bytes, sizeof bytes);
      have_identity = true;
      continue;
    }
    if (entry.record_size != kFirmwareRecordSize) return -1;
    // Records whose identity is not in this directory are refused.
    if (!have_identity || entry.record_count > kPackageRecordCapacity) return -1;
    std::memcpy(p.record_entry, bytes, sizeof bytes);
    const DirectoryEntry identity = decode_entry(p.identity_entry);
    if (!seek_to(file, uint64_t{identity.position} + extra_offset) ||
        !read_bytes(file, p.identity_record, kIdentityRecordSize)) {
      return -1;
    }
    if (!seek_to(file, uint64_t{entry.position} + extra_offset)) return -1;
    p.main_count = 0;
    for (int i = 0; i < entry.record_count; ++i) {
      if (!read_bytes(file, &p.main_records[i], kFirmwareRecordSize)) return -1;
    }
    p.main_count = entry.record_count;
    if (!records_fit_a_packet(p.main_records, p.main_count)) return -1;
  }
  return 0;
}

int read_blocks(FILE* file, FirmwarePackage& p) {
  p.block_count = read_le16(p.header + kBlockCountAt);
  if (p.block_count == 0 || p.block_count > kPackageBlockCapacity) return -1;
  if (!seek_to(file, uint64_t{kPackageHeaderV2} + read_le32(p.header + kBlockAreaAt))) return -1;
  for (int k = 0; k < p.block_count; ++k) {
    PackageBlock& block = p.blocks[k];
    const int announced = read_le16(p.header + kBlockRecordsAt + 2 * k);
    if (announced > kBlockRecordCapacity) return -1;
    while (block.count < announced && read_bytes(file, &block.records[block.count], kFirmwareRecordSize)) {
      ++block.count;
    }
    block.computed_checksum = checksum16(kChecksumSeed, reinterpret_cast<const uint8_t*>(block.records),
                                         block.count * kFirmwareRecordSize);
    block.valid = block.count == announced &&
                  block.computed_checksum == read_le16(p.header + kBlockChecksumAt + 2 * k);
    if (block.valid && !records_fit_a_packet(block.records, block.count)) return -1;
  }
  return 0;
}

int read_package(FILE* file, FirmwarePackage& p) {
  uint8_t length_bytes[2];
  if (!read_bytes(file, length_bytes, sizeof length_bytes)) return -1;
  const int header_length = read_le16(length_bytes);
  int extra_offset = 0;
  if (header_length == kPackageHeaderV1) {
    p.version = 1;
  } else if (header_length == kPackageHeaderV2) {
    p.version = 2;
    extra_offset = kVersion2PositionOffset;
  } else {
    return -1;
  }
  std::rewind(file);
  if (!read_bytes(file, p.header, static_cast<size_t>(header_length))) return -1;
  if (read_directory(file, p, extra_offset) != 0) return -1;
  if (p.version == 2 && read_blocks(file, p) != 0) return -1;

  uint16_t sum = checksum16(kChecksumSeed, p.identity_entry, kDirectoryEntrySize);
  sum = checksum16(sum, p.record_entry, kDirectoryEntrySize);
  sum = checksum16(sum, p.identity_record, kIdentityRecordSize);
  sum = checksum16(sum, reinterpret_cast<const uint8_t*>(p.main_records), p.main_count * kFirmwareRecordSize);
  return sum == read_le16(p.header + kPackageChecksumAt) ? 0 : -1;
}

// Packages print no progress of their own: the percent is -1.
int send_records(const FirmwareRecord* records, int count, int& sent, int total) {
  for (int i = 0; i < count; ++i) {
    if (!record_is_sendable(records[i])) return -1;
    report_firmware_progress({sent++, total, -1});
    if (send_record_attempts(records[i], RecordPacing::pause_before_each) != 0) return -1;
  }
  return 0;
}

}  // namespace

int load_firmware_package(const char* path) {
  FirmwarePackage& p = maintenance_state().firmware_package;
  std::memset(&p, 0, sizeof p);
  if (path == nullptr) return -1;
  int result = -1;
  if (FileHandle file{std::fopen(path, "rb")}) result = read_package(file.get(), p);
  if (result != 0) std::memset(&p, 0, sizeof p);
  return result;
}

int send_firmware_package() {
  if (!link_is_open()) return -1;
  const FirmwarePackage& p = maintenance_state().firmware_package;
  int total = p.main_count;
  for (int k = 0; k < p.block_count; ++k) total += p.blocks[k].valid ? p.blocks[k].count : 0;
  int sent = 0;
  if (send_records(p.main_records, p.main_count, sent, total) != 0) return -1;
  for (int k = 0; k < p.block_count; ++k) {
    const PackageBlock& block = p.blocks[k];
    if (block.valid && send_records(block.records, block.count, sent, total) != 0) return -1;
  }
  return 0;
}

int finish_firmware_package() {
  const FirmwarePackage& p = maintenance_state().firmware_package;
  uint8_t report[8] = {kReportId, 0x06, ':', 0x05};
  write_le16(report + 4, static_cast<uint16_t>(32 * p.main_count));
  write_le16(report + 6, read_le16(p.header + kFinishParameterAt));
  auto accept = [](const uint8_t* r) {
    return r[0] == kReportId && r[1] == 0x03 && r[2] == ':' && r[3] == 0x05 && r[4] == 0x01;
  };
  return run_direct_command(report, sizeof report, DirectTiming{100, 3}, accept, nullptr);
}

}  // namespace tmode
