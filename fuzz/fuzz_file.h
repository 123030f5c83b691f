// The fuzz input as a file, for the readers that take a path.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tmode::fuzz {

// Rewrites one scratch file of this process with the input; its path.
inline const char* input_file(const uint8_t* data, size_t size) {
  static std::string path = [] {
    char pattern[] = "/tmp/tmode-fuzz-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) __builtin_trap();
    ::close(fd);
    return std::string(pattern);
  }();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) __builtin_trap();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) __builtin_trap();
  std::fclose(file);
  return path.c_str();
}

// The readers print their messages; the fuzzer's output stays readable.
inline void quiet_stdout() {
  static const bool done = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)done;
}

}  // namespace tmode::fuzz
