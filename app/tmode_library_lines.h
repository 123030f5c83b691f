// The library's own printed lines while a subcommand runs (progress,
// verdicts): on standard output, on standard error with --json or when
// standard output holds the command's values, nowhere with --quiet. Some
// of them end without a line end; tmode ends such a line before it prints
// its own.
#pragma once

#include <cstddef>
#include <cstdio>

#include "app/tmode_session.h"
#include "link/output_sink.h"

namespace tmode::cli {

class LibraryLines {
 public:
  enum class Output { kShared, kValues };  // kValues: standard output holds values
  explicit LibraryLines(const Globals& globals, Output output = Output::kShared);
  LibraryLines(const LibraryLines&) = delete;
  LibraryLines& operator=(const LibraryLines&) = delete;

  // Ends the library's last line when it was left open.
  void end_line();

 private:
  // The sink's callback; runs on the thread that prints, under the sink's
  // lock (the library prints from the caller's thread).
  static void forward(void* context, const char* text, size_t length);

  FILE* target_;
  bool open_line_ = false;
  OutputSinkScope scope_;
};

}  // namespace tmode::cli
