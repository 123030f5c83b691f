#include "sim/fault_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace tmode::sim {

namespace {

constexpr long kMaxCount = 1000000;
constexpr long kMaxDelayMs = 600000;

// Splits at commas into at most `max` fields; false for more.
bool split(const char* text, std::string (&fields)[3], int max, int& count) {
  count = 0;
  std::string rest = text == nullptr ? "" : text;
  for (;;) {
    if (count == max) return false;
    const size_t comma = rest.find(',');
    fields[count++] = rest.substr(0, comma);
    if (comma == std::string::npos) return true;
    rest.erase(0, comma + 1);
  }
}

bool parse_command(const std::string& text, int& class_byte, int& sub_byte) {
  class_byte = -1;
  sub_byte = -1;
  if (text == "any") return true;
  if (text.size() != 2 && text.size() != 4) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  class_byte = static_cast<int>(std::strtol(text.substr(0, 2).c_str(), nullptr, 16));
  if (text.size() == 4) sub_byte = static_cast<int>(std::strtol(text.substr(2, 2).c_str(), nullptr, 16));
  return true;
}

}  // namespace

bool parse_number(const char* text, long low, long high, int& out) {
  if (text == nullptr || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

bool parse_no_reply(const char* text, Fault& out) {
  std::string fields[3];
  int count = 0;
  int class_byte = -1;
  int sub_byte = -1;
  int times = -1;
  if (!split(text, fields, 2, count) || !parse_command(fields[0], class_byte, sub_byte)) return false;
  if (count == 2 && !parse_number(fields[1].c_str(), 1, kMaxCount, times)) return false;
  out = no_reply(class_byte, sub_byte, times);
  return true;
}

bool parse_late_reply(const char* text, Fault& out) {
  std::string fields[3];
  int count = 0;
  int class_byte = -1;
  int sub_byte = -1;
  int delay_ms = 0;
  int times = -1;
  if (!split(text, fields, 3, count) || count < 2 || !parse_command(fields[0], class_byte, sub_byte) ||
      !parse_number(fields[1].c_str(), 0, kMaxDelayMs, delay_ms)) {
    return false;
  }
  if (count == 3 && !parse_number(fields[2].c_str(), 1, kMaxCount, times)) return false;
  out = late_reply(class_byte, sub_byte, delay_ms, times);
  return true;
}

bool parse_report_after(const char* text, Fault& out) {
  int class_byte = -1;
  int sub_byte = -1;
  if (text == nullptr || !parse_command(text, class_byte, sub_byte)) return false;
  out = report_after_reply(class_byte, sub_byte, unasked_report());
  return true;
}

bool parse_flood(const char* text, int& per_second, int& duration_ms) {
  std::string fields[3];
  int count = 0;
  if (!split(text, fields, 2, count) || !parse_number(fields[0].c_str(), 1, 100000, per_second)) return false;
  duration_ms = 10000;
  return count < 2 || parse_number(fields[1].c_str(), 1, kMaxDelayMs, duration_ms);
}

Fault lost_after(int count) {
  Fault fault = no_reply(-1, -1, -1);
  auto seen = std::make_shared<int>(0);
  fault.when = [seen, count](const Bytes&) { return ++*seen > count; };
  return fault;
}

}  // namespace tmode::sim
