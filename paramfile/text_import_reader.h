// Reading the keys of one section of a parameter text file into a block
// image, each key with its default when absent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "maintenance/parameter_checksums.h"
#include "tuning/ini_reader.h"

namespace tmode {

class SectionReader {
 public:
  SectionReader(uint8_t* block, const char* section) : block_(block), section_(section) {}

  int value(const char* key, int default_value) const {
    return ini_get_int(section_, key, nullptr, default_value);
  }
  int value(const char* name, int index, int default_value) const {
    char key[64];
    std::snprintf(key, sizeof key, "%s%d", name, index);
    return value(key, default_value);
  }

  void u8(int offset, const char* key, int default_value) const {
    block_[offset] = static_cast<uint8_t>(value(key, default_value));
  }
  void u8(int offset, const char* name, int index, int default_value) const {
    block_[offset] = static_cast<uint8_t>(value(name, index, default_value));
  }
  void u16(int offset, const char* key, int default_value) const {
    write_le16(block_ + offset, static_cast<uint16_t>(value(key, default_value)));
  }
  void u16(int offset, const char* name, int index, int default_value) const {
    write_le16(block_ + offset, static_cast<uint16_t>(value(name, index, default_value)));
  }
  // A text field of `size` bytes: cleared, then the text copied in without a
  // terminator of its own, cut to the field.
  void text(int offset, int size, const char* key, const char* default_text) const {
    char text[256];
    ini_get_string(section_, key, text, sizeof text, default_text);
    std::memset(block_ + offset, 0, static_cast<size_t>(size));
    std::memcpy(block_ + offset, text, strnlen(text, static_cast<size_t>(size)));
  }

 private:
  uint8_t* block_;
  const char* section_;
};

}  // namespace tmode
