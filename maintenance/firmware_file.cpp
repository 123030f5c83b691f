#include "maintenance/firmware_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "link/file_handle.h"
#include "link/link_session.h"
#include "maintenance/maintenance_state.h"
#include "link/link.h"
#include "link/report_utils.h"
#include "maintenance/byte_order.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr uint32_t kFileChecksumSeed = 0xAA55;
constexpr uint8_t kExtensionMarker = 32;
constexpr uint8_t kClass = ':';
constexpr uint8_t kFinishCommand = 0x05;


RecordFileHeader decode_header(const uint8_t* b) {
  RecordFileHeader h{};
  h.length = b[0];
  h.main_count = read_le16(b + 17);
  h.main_checksum = read_le32(b + 19);
  h.payload_size = read_le16(b + 25);
  h.finish_w1 = read_le16(b + 29);
  h.finish_w2 = read_le16(b + 31);
  h.extension_flag = b[35];
  // The file keeps list 4 before list 3.
  const int offset[kRecordListCount] = {36, 40, 48, 44};
  for (int k = 0; k < kRecordListCount; ++k) {
    h.list_count[k] = read_le16(b + offset[k]);
    h.list_checksum[k] = read_le16(b + offset[k] + 2);
  }
  h.extra_count = read_le16(b + 52);
  return h;
}

// The sizes this loader can hold: anything else would need a bigger area
// than the library has, or (records without main records) a progress over
// zero main records.
bool header_fits(const RecordFileHeader& h) {
  if (h.payload_size != kRecordDataSize) return false;
  if (h.main_count > kMainRecordCapacity) return false;
  bool lists_announced = false;
  for (int k = 0; k < kRecordListCount; ++k) {
    if (h.list_count[k] > kRecordListCapacity[k]) return false;
    lists_announced = lists_announced || h.list_count[k] > 0;
  }
  return h.main_count > 0 || (!lists_announced && h.extra_count == 0);
}

bool read_record(FILE* file, FirmwareRecord& record) {
  return std::fread(&record, 1, kFirmwareRecordSize, file) == kFirmwareRecordSize;
}

bool records_fit_a_packet(const FirmwareRecord* records, int count) {
  for (int i = 0; i < count; ++i) {
    if (records[i].length > kRecordDataSize) return false;
  }
  return true;
}

// Hands the good extra records to lists 1 to 4: a list takes records once
// the lists before it are complete (list 4 once lists 1 to 3 are); a list
// announced with 0 records takes none.
void distribute_extra_records(FILE* file, RecordFile& f) {
  const uint16_t* count = f.header.list_count;
  bool done1 = false, done2 = false, done3 = false;
  for (int j = 0; j < f.header.extra_count; ++j) {
    FirmwareRecord record;
    if (!read_record(file, record)) break;  // a partial record at the end is not one
    if (record_checksum(record) != record.checksum) continue;
    if (count[0] == 0) done1 = true;
    if (count[2] == 0) done3 = true;
    int* held = f.list_held;
    if (held[0] < count[0]) {
      f.list1[held[0]++] = record;
    } else if (held[1] < count[1] && done1) {
      f.list2[held[1]++] = record;
    } else if (held[2] < count[2] && done1 && done2) {
      f.list3[held[2]++] = record;
    } else if (held[3] < count[3] && done1 && done2 && done3) {
      f.list4[held[3]++] = record;
    }
    if (held[0] == count[0]) done1 = true;
    if (held[1] == count[1]) done2 = true;
    if (held[2] == count[2]) done3 = true;
  }
}

int read_record_file(FILE* file, RecordFile& f) {
  const int length = std::fgetc(file);
  if (length == EOF || length > kRecordFileHeaderSize) return -1;
  std::rewind(file);
  if (std::fread(f.header_bytes, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) {
    return -1;
  }
  f.header = decode_header(f.header_bytes);
  const RecordFileHeader& h = f.header;
  if (!header_fits(h)) return -1;

  if (h.finish_w1 == 0 && h.extension_flag != 0) {
    if (std::fgetc(file) != kExtensionMarker) return -1;
    f.extension[0] = kExtensionMarker;
    if (std::fread(f.extension + 1, 1, kExtensionBlockSize - 1, file) != kExtensionBlockSize - 1) return -1;
    f.has_extension = true;
  }

  while (f.main_read < h.main_count && read_record(file, f.main_records[f.main_read])) ++f.main_read;
  distribute_extra_records(file, f);

  for (int k = 0; k < kRecordListCount; ++k) {
    if (h.list_count[k] == 0) continue;
    // A list short of records would stop the transfer half-way at its first
    // empty slot; such a file is refused here instead.
    if (f.list_held[k] < h.list_count[k]) return -1;
    const auto* bytes = reinterpret_cast<const uint8_t*>(record_list(f, k));
    if (checksum16(kFileChecksumSeed, bytes, f.list_held[k] * kFirmwareRecordSize) != h.list_checksum[k]) {
      return -1;
    }
    if (!records_fit_a_packet(record_list(f, k), f.list_held[k])) return -1;
  }

  if (f.main_read < h.main_count) return -1;
  uint32_t sum = kFileChecksumSeed;
  const auto* main_bytes = reinterpret_cast<const uint8_t*>(f.main_records);
  for (int i = 0; i < f.main_read * kFirmwareRecordSize; ++i) sum += main_bytes[i];
  if (sum != h.main_checksum) return -1;
  return records_fit_a_packet(f.main_records, f.main_read) ? 0 : -1;
}

}  // namespace

FirmwareRecord* record_list(RecordFile& file, int k) {
  switch (k) {
    case 0: return file.list1;
    case 1: return file.list2;
    case 2: return file.list3;
    default: return file.list4;
  }
}

int load_firmware_file(const char* path) {
  RecordFile& f = maintenance_state().firmware_file;
  std::memset(&f, 0, sizeof f);
  if (path == nullptr) return -1;
  int result = -1;
  if (FileHandle file{std::fopen(path, "rb")}) result = read_record_file(file.get(), f);
  if (result != 0) std::memset(&f, 0, sizeof f);
  return result;
}

int send_firmware() {
  if (!link_is_open()) return -1;
  RecordFile& f = maintenance_state().firmware_file;
  int total = f.main_read;
  for (int k = 0; k < kRecordListCount; ++k) total += f.list_held[k];
  if (send_record_list_within(f.main_read, f.main_records, 0, total) != 0) return -1;
  int sent = f.main_read;
  for (int k = 0; k < kRecordListCount; ++k) {
    if (send_record_list_within(f.list_held[k], record_list(f, k), sent, total) != 0) return -1;
    sent += f.list_held[k];
  }
  return 0;
}

int finish_firmware_update() {
  if (!link_is_open()) return -1;
  const RecordFile& f = maintenance_state().firmware_file;
  const uint16_t w1 = f.header.finish_w1;
  const uint16_t w2 = f.header.finish_w2;
  uint8_t packet[7] = {kClass, kFinishCommand};
  int length = 0;
  if (f.has_extension) {
    packet[2] = f.extension[1];
    packet[3] = f.extension[2];
    packet[4] = f.extension[3];
    write_le16(packet + 5, w2);
    length = 7;
  } else {
    write_le16(packet + 2, w1);
    write_le16(packet + 4, w2);
    length = 6;
  }
  uint8_t reply[kReportSize];
  const int result = exchange_command(packet, length, kClass, kFinishCommand, reply, 10, 0);
  if (result != 0) return result;
  return reply[0] == kReportId && reply[4] == 0x01 ? 0 : -1;
}

}  // namespace tmode
