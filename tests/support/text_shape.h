// Matching texts with a variable date or time against a shape.
#pragma once

#include <cctype>
#include <string>

namespace tmode::test {

// True when text has the shape: each '#' of the shape matches one digit,
// every other character itself.
inline bool has_shape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (shape[i] == '#' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

}  // namespace tmode::test
