// The identification texts of the stamp record from untrusted bytes: the
// input is up to three texts separated by newlines (a firmware description,
// a version text, a file name), each cut at its first zero.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "maintenance/stamp_record.h"
#include "maintenance/version_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tmode;
  std::vector<std::string> texts(3);
  size_t t = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && t < 2) {
      ++t;
    } else {
      texts[t].push_back(static_cast<char>(data[i]));
    }
  }
  // Exactly sized heap copies, so that a read past a text shows.
  std::vector<std::vector<char>> exact;
  for (const std::string& text : texts) exact.emplace_back(text.c_str(), text.c_str() + text.size() + 1);

  for (const auto& text : exact) {
    uint16_t number = 0;
    char suffix[kVersionSuffixSize];
    const int converted = parse_version_text(text.data(), &number, suffix);
    if (converted != 0 && converted != 1) __builtin_trap();
    char chip[kChipFieldSize];
    char version[kVersionTextSize];
    if (parse_firmware_file_name(text.data(), chip, version) == 0) {
      if (strnlen(chip, kChipFieldSize) > 4 || strnlen(version, kVersionTextSize) >= kVersionTextSize) {
        __builtin_trap();
      }
    }
  }
  // No link is open: the firmware word reads as -1.
  prepare_stamp_record(1, 2, 3, 4, 5, exact[0].data(), exact[1].data(), exact[2].data(), 0, 0);
  return 0;
}
