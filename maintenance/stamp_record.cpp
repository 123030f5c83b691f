#include "maintenance/stamp_record.h"

#include <time.h>

#include <cstring>

#include "maintenance/maintenance_state.h"
#include "link/link_session.h"
#include "maintenance/byte_order.h"
#include "maintenance/firmware_queries.h"
#include "maintenance/version_text.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr uint16_t kFamilyConstant = 0x6300;
constexpr const char* kFamilyMarker = "6300";
constexpr int kFamilyNumberOffset = 5;
constexpr const char* kVersionMarker = "Version:";
constexpr int kVersionOffset = 9;

bool text_acceptable(const char* text) {
  return text != nullptr && strnlen(text, kMaxIdentificationText + 1) <= kMaxIdentificationText;
}

// The text `offset` characters on from the start of a marker, or the empty
// text at its end when the text is shorter.
const char* after_marker(const char* marker, int offset) {
  return marker + strnlen(marker, static_cast<size_t>(offset));
}

void store16(uint8_t* record, int offset, uint16_t value) { write_le16(record + offset, value); }

}  // namespace

int prepare_stamp_record(int value1, int value2, uint8_t byte1, uint8_t byte2, uint8_t byte3,
                         const char* text1, const char* text2, const char* text3, int time_update,
                         uint8_t time_update_byte) {
  uint8_t* record = maintenance_state().stamp_record.bytes;
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  const uint8_t clock[3] = {static_cast<uint8_t>(local.tm_hour), static_cast<uint8_t>(local.tm_min),
                            static_cast<uint8_t>(local.tm_sec)};
  if (time_update != 0) {
    std::memcpy(record + stamp::kUpdateTime, clock, sizeof clock);
    record[stamp::kUpdateTime + 3] = time_update_byte;
    return 0;
  }

  if (!text_acceptable(text1) || !text_acceptable(text2) || !text_acceptable(text3)) return -1;
  const char* family = std::strstr(text1, kFamilyMarker);
  const char* version = std::strstr(text2, kVersionMarker);
  if (family != nullptr && version == nullptr) return -1;

  std::memset(record, 0, kStampRecordSize);
  store16(record, stamp::kCallerValue1, static_cast<uint16_t>(value1));
  store16(record, stamp::kCallerValue2, static_cast<uint16_t>(value2));
  store16(record, stamp::kFamily, kFamilyConstant);

  if (family != nullptr) {
    uint16_t number = 0;
    if (parse_hex16(after_marker(family, kFamilyNumberOffset), &number) == 1) {
      store16(record, stamp::kFamilyNumber, number);
    }
    char suffix[kVersionSuffixSize];
    if (parse_version_text(after_marker(version, kVersionOffset), &number, suffix) == 1) {
      store16(record, stamp::kVersionNumber, number);
    }
    std::memcpy(record + stamp::kVersionSuffix, suffix, kVersionSuffixSize);
    store16(record, stamp::kFirmwareWord, static_cast<uint16_t>(query_firmware_word(2)));
  } else {
    store16(record, stamp::kFamilyNumber, 0xFFFF);
    store16(record, stamp::kVersionNumber, 0xFFFF);
    store16(record, stamp::kFirmwareWord, 0xFFFF);
  }

  char chip[kChipFieldSize];
  char version_text[kVersionTextSize];
  parse_firmware_file_name(text3, chip, version_text);
  uint16_t number = 0;
  if (parse_hex16(chip, &number) == 1) store16(record, stamp::kChipNumber, number);
  char suffix[kVersionSuffixSize];
  if (parse_version_text(version_text, &number, suffix) == 1) store16(record, stamp::kFileVersion, number);
  std::memcpy(record + stamp::kFileSuffix, suffix, kVersionSuffixSize);

  store16(record, stamp::kFinishW2, maintenance_state().firmware_file.header.finish_w2);
  record[stamp::kCallerBytes] = byte1;
  record[stamp::kCallerBytes + 1] = byte2;
  record[stamp::kCallerBytes + 2] = byte3;
  std::memcpy(record + stamp::kTime, clock, sizeof clock);
  return 0;
}

int write_stamp_record() {
  uint8_t report[4 + kStampRecordSize] = {kReportId, 0x36, ':', 0x0C};
  std::memcpy(report + 4, maintenance_state().stamp_record.bytes, kStampRecordSize);
  auto accept = [](const uint8_t* r) {
    return r[0] == kReportId && r[1] == 0x03 && r[2] == ':' && r[3] == 0x0C && r[4] == 0x01;
  };
  return run_direct_command(report, sizeof report, DirectTiming{100, 3}, accept, nullptr);
}

}  // namespace tmode
