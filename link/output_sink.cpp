#include "link/output_sink.h"

#include <cstdarg>
#include <mutex>
#include <string>

namespace tmode {

namespace {

enum SinkKind : int { kStandardOutput, kStream, kCallback };

// Written by the setters and read by the printing calls, from any thread,
// always under the sink's mutex. Recursive, so that a callback may change
// the sink (the change applies to the next print).
struct OutputSink {
  std::recursive_mutex mutex;
  int kind = kStandardOutput;
  FILE* stream = nullptr;  // kStream; nullptr drops the text
  OutputCallback callback = nullptr;
  void* context = nullptr;
};

OutputSink& sink() {
  static OutputSink instance;
  return instance;
}

FILE* stream_of(const OutputSink& s) { return s.kind == kStandardOutput ? stdout : s.stream; }

void deliver(OutputSink& s, const char* text, size_t length) {
  if (s.kind == kCallback) {
    s.callback(s.context, text, length);
    return;
  }
  FILE* stream = stream_of(s);
  if (stream != nullptr) std::fwrite(text, 1, length, stream);
}

}  // namespace

void set_output_stream(FILE* stream) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  s.kind = kStream;
  s.stream = stream;
  s.callback = nullptr;
  s.context = nullptr;
}

void set_output_callback(OutputCallback callback, void* context) {
  if (callback == nullptr) {
    reset_output_sink();
    return;
  }
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  s.kind = kCallback;
  s.stream = nullptr;
  s.callback = callback;
  s.context = context;
}

void reset_output_sink() {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  s.kind = kStandardOutput;
  s.stream = nullptr;
  s.callback = nullptr;
  s.context = nullptr;
}

void out_printf(const char* format, ...) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  va_list args;
  va_start(args, format);
  if (s.kind != kCallback) {
    if (FILE* stream = stream_of(s)) std::vfprintf(stream, format, args);
    va_end(args);
    return;
  }
  char line[512];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) < sizeof line) {
    va_end(again);
    deliver(s, line, static_cast<size_t>(length));
    return;
  }
  std::string longer(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(longer.data(), longer.size(), format, again);
  va_end(again);
  deliver(s, longer.data(), static_cast<size_t>(length));
}

void out_puts(const char* text) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  deliver(s, text, std::char_traits<char>::length(text));
  deliver(s, "\n", 1);
}

void out_write(const char* text) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  deliver(s, text, std::char_traits<char>::length(text));
}

void out_flush() {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  if (s.kind == kCallback) return;
  if (FILE* stream = stream_of(s)) std::fflush(stream);
}

OutputSinkScope::OutputSinkScope(FILE* stream) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  saved_kind_ = s.kind;
  saved_stream_ = s.stream;
  saved_callback_ = s.callback;
  saved_context_ = s.context;
  set_output_stream(stream);
}

OutputSinkScope::OutputSinkScope(OutputCallback callback, void* context) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  saved_kind_ = s.kind;
  saved_stream_ = s.stream;
  saved_callback_ = s.callback;
  saved_context_ = s.context;
  set_output_callback(callback, context);
}

OutputSinkScope::~OutputSinkScope() {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  s.kind = saved_kind_;
  s.stream = saved_stream_;
  s.callback = saved_callback_;
  s.context = saved_context_;
}

}  // namespace tmode
