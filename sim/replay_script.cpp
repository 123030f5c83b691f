#include "sim/replay_script.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tmode::sim {

namespace {

std::string hex(const Bytes& bytes) {
  std::string text;
  char pair[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += pair;
  }
  return text;
}

// The framed part of what the library wrote: id, length byte, payload.
Bytes framed(const Bytes& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0x03 && static_cast<size_t>(bytes[1]) + 2 <= bytes.size()) {
    return Bytes(bytes.begin(), bytes.begin() + bytes[1] + 2);
  }
  return bytes;
}

}  // namespace

bool ReplayScript::load(const std::string& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    Entry entry{};
    std::string direction;
    words >> entry.at_s >> direction;
    if (!words || !std::isfinite(entry.at_s) || entry.at_s < 0 || (direction != ">" && direction != "<")) {
      *error = path + ":" + std::to_string(number) + ": not a trace line";
      return false;
    }
    entry.from_library = direction == ">";
    std::string pair;
    while (words >> pair) {
      unsigned value = 0;
      char rest = 0;
      if (pair.size() != 2 || std::sscanf(pair.c_str(), "%2x%c", &value, &rest) != 1 || entry.bytes.size() == 64) {
        *error = path + ":" + std::to_string(number) + ": bad byte \"" + pair + "\"";
        return false;
      }
      entry.bytes.push_back(static_cast<uint8_t>(value));
    }
    entries_.push_back(std::move(entry));
  }
  return true;
}

std::vector<TimedReport> ReplayScript::answer(const Bytes& command) {
  ++commands_seen_;
  // Reports the controller sent before this command's turn are skipped:
  // their cause (an earlier command) has been answered.
  while (next_ < entries_.size() && !entries_[next_].from_library) ++next_;
  const Bytes got = framed(command);
  if (next_ >= entries_.size() || entries_[next_].bytes != got) {
    if (mismatches_++ == 0) {
      first_mismatch_ = "command " + std::to_string(commands_seen_) + ": expected " +
                        (next_ < entries_.size() ? hex(entries_[next_].bytes) : std::string("nothing")) +
                        ", got " + hex(got);
    }
    return {};
  }
  const double sent_at = entries_[next_].at_s;
  std::vector<TimedReport> reports;
  for (++next_; next_ < entries_.size() && !entries_[next_].from_library; ++next_) {
    const double delay_ms = (entries_[next_].at_s - sent_at) * 1000.0;
    reports.push_back({static_cast<int>(std::lround(delay_ms)), entries_[next_].bytes});
  }
  return reports;
}

}  // namespace tmode::sim
