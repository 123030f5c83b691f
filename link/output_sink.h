// Where the library's own printed lines go (progress, verdicts, warnings):
// standard output unless an application chooses otherwise, for example a
// tool that keeps standard output for a JSON document. Log files and data
// dumps the library writes to files it opened are not affected.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tmode {

// Receives each piece of text as the library prints it: `text` holds
// `length` bytes (no terminating zero is promised). Runs on the thread that
// prints, under the sink's lock: it must not print through the sink itself.
using OutputCallback = void (*)(void* context, const char* text, size_t length);

// Sends the library's text to `stream`, or drops it when `stream` is
// nullptr. Replaces any sink in force.
void set_output_stream(FILE* stream);
// Sends the library's text to `callback`; nullptr restores standard output.
// Once the call returns, the old callback is not running and will not run.
void set_output_callback(OutputCallback callback, void* context);
// Back to standard output, the default.
void reset_output_sink();

// The library's printing, shaped like the C calls it replaces.
void out_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void out_puts(const char* text);   // the text and a line end
void out_write(const char* text);  // the text alone
void out_flush();

// Points the sink somewhere for a scope and puts the one before back after.
class OutputSinkScope {
 public:
  explicit OutputSinkScope(FILE* stream);
  OutputSinkScope(OutputCallback callback, void* context);
  ~OutputSinkScope();
  OutputSinkScope(const OutputSinkScope&) = delete;
  OutputSinkScope& operator=(const OutputSinkScope&) = delete;

  // Where the text goes: standard output, a stream (none drops it) or a
  // callback.
  struct Target {
    int kind;
    FILE* stream;
    OutputCallback callback;
    void* context;
  };

 private:
  Target saved_;
};

}  // namespace tmode
