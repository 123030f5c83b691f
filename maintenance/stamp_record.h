// The firmware stamp record: 52 bytes that identify the firmware, the update
// time and values of the caller's, written to the controller after an
// update.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kStampRecordSize = 52;

// Offsets within the record; 16-bit fields are little-endian.
namespace stamp {
inline constexpr int kCallerValue1 = 2;
inline constexpr int kCallerValue2 = 4;
inline constexpr int kFamily = 6;          // 0x6300
inline constexpr int kFamilyNumber = 8;    // from text 1
inline constexpr int kVersionNumber = 10;  // from text 2
inline constexpr int kFirmwareWord = 12;   // query_firmware_word(2)
inline constexpr int kChipNumber = 14;     // from text 3
inline constexpr int kFileVersion = 16;    // from text 3
inline constexpr int kFinishW2 = 18;       // of the loaded record file
inline constexpr int kVersionSuffix = 20;  // 8 bytes, from text 2
inline constexpr int kFileSuffix = 28;     // 8 bytes, from text 3
inline constexpr int kCallerBytes = 36;    // 3 bytes
inline constexpr int kTime = 39;           // hour, minute, second
inline constexpr int kUpdateTime = 42;     // hour, minute, second, caller byte
}  // namespace stamp

struct StampRecord {
  uint8_t bytes[kStampRecordSize];
};

// Builds the stamp record in the library state from the caller's values, the
// local time and three texts: text 1 a firmware description whose family
// marker "6300" is followed (5 characters on from its start) by the family
// number, text 2 a text with "Version:" (the version 9 characters on from
// its start), text 3 the firmware file's name. Without the marker in text 1
// the family number, version and firmware word are 0xFFFF; the word is read
// from the controller otherwise. With the time-update flag set only the
// update time and its byte (offsets 42 to 45) change.
// 0, or -1 with the record unchanged: a text missing or longer than 127
// characters, or text 1 with the marker while text 2 has no "Version:".
int prepare_stamp_record(int value1, int value2, uint8_t byte1, uint8_t byte2, uint8_t byte3,
                         const char* text1, const char* text2, const char* text3, int time_update,
                         uint8_t time_update_byte);

// Writes 0x03, 0x36, ':', 0x0C and the 52 record bytes by the direct pattern,
// 3 seconds per try; the controller answers 0x03, 0x03, ':', 0x0C, 1. 0; -1
// for a link not open or a wrong answer; 110 when the last try timed out.
int write_stamp_record();

}  // namespace tmode
