#include "protocol/store_words.h"

#include <cstring>
#include <initializer_list>

#include "link/link_session.h"
#include "protocol/exchange.h"
#include "protocol/reply_fields.h"

namespace tmode {

namespace {

constexpr DirectTiming kWordTiming{5, 3};

uint8_t byte(int value) { return static_cast<uint8_t>(value & 0xFF); }

// Runs the word read; the word is at reply bytes `at` and `at` + 1.
int read_word(const uint8_t* report, int size, std::initializer_list<int> accept, int at,
              uint16_t* out) {
  // The output reads 0 from the first attempt on, and after any failure.
  *out = 0;
  uint8_t reply[kReportSize];
  const int result = run_direct_command(
      report, size, kWordTiming, [&](const uint8_t* r) { return reply_matches(r, accept); }, reply);
  if (result == 0) *out = static_cast<uint16_t>(reply[at] | (reply[at + 1] << 8));
  return result;
}

int write_word(const uint8_t* report, int size, std::initializer_list<int> accept) {
  return run_direct_command(report, size, kWordTiming,
                            [&](const uint8_t* r) { return reply_matches(r, accept); }, nullptr);
}

}  // namespace

int read_store_word(int index, uint16_t* out) {
  const uint8_t i = byte(index);
  const uint8_t report[] = {kReportId, 0x02, 'C', i};
  return read_word(report, sizeof report, {kReportId, 0x04, 'C', i}, 4, out);
}

int write_store_word(int index, uint16_t word) {
  const uint8_t i = byte(index);
  const uint8_t report[] = {kReportId, 0x04, 'B', i, byte(word), byte(word >> 8)};
  return write_word(report, sizeof report, {kReportId, 0x02, 'X', i});
}

int read_ext_store_word(int index, uint16_t* out) {
  const uint8_t i = byte(index);
  const uint8_t report[] = {kReportId, 0x04, '6', 'F', 'z', i};
  return read_word(report, sizeof report, {kReportId, 0x06, '6', 'F', 'z', i}, 6, out);
}

int write_ext_store_word(int index, uint16_t word) {
  const uint8_t i = byte(index);
  const uint8_t report[] = {kReportId, 0x06, '6', 'G', 'z', i, byte(word), byte(word >> 8)};
  return write_word(report, sizeof report, {kReportId, 0x05, '6', 'G', 'z', i, 1});
}

int read_record26(int, int, int number, uint8_t* out) {
  const uint8_t report[] = {kReportId, 0x03, '6', 'J', byte(number)};
  uint8_t reply[kReportSize];
  const int result = run_direct_command(
      report, sizeof report, kWordTiming,
      [](const uint8_t* r) { return reply_matches(r, {kReportId, 0x1C, '6', 'J'}); }, reply);
  if (result != 0) return result;
  std::memcpy(out, reply + 4, kRecord26Size);
  return kRecord26Size;
}

int write_record26(int, int, int number, const uint8_t* record) {
  uint8_t report[5 + kRecord26Size] = {kReportId, 0x1D, '6', 'K', byte(number)};
  std::memcpy(report + 5, record, kRecord26Size);
  return write_word(report, sizeof report, {kReportId, 0x03, '6', 'K', byte(number)});
}

}  // namespace tmode
