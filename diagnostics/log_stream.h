// The shared log stream: a writer opens its file into the library's one
// log stream handle, writes, and closes it before it returns, so no log file
// stays open between operations and each file is complete after each one.
#pragma once

#include <cstdio>

#include "diagnostics/log_records.h"

namespace tmode {

// Opens the path of a log slot into the shared handle for the scope's
// lifetime, and closes it and clears the handle when the scope ends.
class SharedLogFile {
 public:
  SharedLogFile(LogSlot slot, const char* mode);
  ~SharedLogFile();
  SharedLogFile(const SharedLogFile&) = delete;
  SharedLogFile& operator=(const SharedLogFile&) = delete;

  FILE* stream() const;
  // Closes the file before the scope ends.
  void close();
  explicit operator bool() const { return stream() != nullptr; }
};

// Closes the shared log stream, if open, and clears the handle.
void close_shared_log();

// The 177-character separator line that closes a test block ('/' with
// commas at 24 and 107), then "\r\n".
void write_separator_line(FILE* out);

}  // namespace tmode
