#include "maintenance/firmware_record.h"

#include <cstring>

#include "link/link.h"
#include "link/link_session.h"
#include "link/reply_wait.h"
#include "maintenance/firmware_progress.h"
#include "maintenance/maintenance_state.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr uint8_t kClass = ':';
constexpr uint8_t kRecordCommand = 0x01;
constexpr uint8_t kChecksumSeed = 0x55;
constexpr int kRecordHeaderBytes = 5;  // ':', 0x01, location 0, location 1, checksum
constexpr int kRecordAttempts = 5;
constexpr int kRecordPauseMs = 10;

}  // namespace

uint8_t record_checksum(const FirmwareRecord& record) {
  unsigned sum = kChecksumSeed;
  for (uint8_t byte : record.data) sum += byte;
  return static_cast<uint8_t>(sum);
}

bool record_is_sendable(const FirmwareRecord& record) {
  return record.length <= kRecordDataSize && record_checksum(record) == record.checksum;
}

int send_firmware_record(uint8_t location0, uint8_t location1, int length, uint8_t checksum,
                         const uint8_t* data) {
  if (!link_is_open() || length < 0 || length > kRecordDataSize) return -1;
  if (length > 0 && data == nullptr) return -1;
  uint8_t packet[kRecordHeaderBytes + kRecordDataSize] = {kClass, kRecordCommand, location0,
                                                          location1, checksum};
  if (length > 0) std::memcpy(packet + kRecordHeaderBytes, data, static_cast<size_t>(length));
  uint8_t reply[kReportSize];
  if (exchange_command(packet, length + kRecordHeaderBytes, kClass, kRecordCommand, reply, 3, 0) != 0) {
    return -1;
  }
  return reply[6] == checksum ? 0 : -1;
}

int send_record_attempts(const FirmwareRecord& record, RecordPacing pacing) {
  for (int attempt = 0; attempt < kRecordAttempts; ++attempt) {
    if (pacing == RecordPacing::pause_before_each) sleep_ms(kRecordPauseMs);
    if (send_firmware_record(record.location[0], record.location[1], record.length, record.checksum,
                             record.data) == 0) {
      return 0;
    }
    if (pacing == RecordPacing::pause_after_failure) sleep_ms(kRecordPauseMs);
  }
  return -1;
}

int send_record_list(int count, const FirmwareRecord* records) {
  return send_record_list_within(count, records, 0, count);
}

int send_record_list_within(int count, const FirmwareRecord* records, int sent_before, int transfer_total) {
  if (!link_is_open() || count < 0) return -1;
  if (count == 0) return 0;
  if (records == nullptr) return -1;
  // The percent runs over the main records of the loaded file, also while
  // its lists are sent; a list sent on its own counts over itself.
  const int main_count = maintenance_state().firmware_file.header.main_count;
  const int divisor = main_count > 0 ? main_count : count;
  for (int i = 0; i < count; ++i) {
    const FirmwareRecord& record = records[i];
    if (!record_is_sendable(record)) return -1;
    report_firmware_progress({sent_before + i, transfer_total, 100 * i / divisor});
    if (send_record_attempts(record, RecordPacing::pause_after_failure) != 0) return -1;
  }
  return 0;
}

}  // namespace tmode
