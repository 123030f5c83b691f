// Hands a fuzz input to a loader that takes a path: the bytes go into one
// memory file, reached through /proc/self/fd.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tmode::fuzz {

inline const char* input_path(const uint8_t* data, size_t size) {
  static int fd = -1;
  static char path[64];
  if (fd < 0) {
    fd = ::memfd_create("firmware", MFD_CLOEXEC);
    if (fd < 0) __builtin_trap();
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  }
  if (::ftruncate(fd, 0) != 0) __builtin_trap();
  if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) __builtin_trap();
  return path;
}

}  // namespace tmode::fuzz
