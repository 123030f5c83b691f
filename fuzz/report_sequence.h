// Reports from the wire for a handler fuzz target: after the target's own
// set-up bytes, the input is a sequence of reports, each a length byte
// (taken modulo 65) and that many bytes. Each report is handed over in a
// buffer of exactly its size, so that a read past it is caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tmode::fuzz {

template <typename Handler>
void for_each_report(const uint8_t* data, size_t size, Handler handler) {
  size_t at = 0;
  while (at < size) {
    size_t length = data[at++] % 65;
    if (length > size - at) length = size - at;
    const std::vector<uint8_t> report(data + at, data + at + length);
    handler(static_cast<int>(length), report.data());
    at += length;
  }
}

}  // namespace tmode::fuzz
