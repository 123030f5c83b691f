#include "link/output_sink.h"

#include <cstdarg>
#include <mutex>
#include <string>

namespace tmode {

namespace {

enum SinkKind : int { kStandardOutput, kStream, kCallback };

using Target = OutputSinkScope::Target;

// The target is written by the setters and read by the printing calls,
// from any thread, always under the mutex. Recursive, so that a callback
// may change the sink (the change applies to the next print).
struct OutputSink {
  std::recursive_mutex mutex;
  Target target{kStandardOutput, nullptr, nullptr, nullptr};
};

OutputSink& sink() {
  static OutputSink instance;
  return instance;
}

// Puts `target` in force; the one it replaces.
Target replace(const Target& target) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  const Target old = s.target;
  s.target = target;
  return old;
}

FILE* stream_of(const Target& t) { return t.kind == kStandardOutput ? stdout : t.stream; }

// Under the sink's lock.
void deliver(const Target& t, const char* text, size_t length) {
  if (t.kind == kCallback) {
    t.callback(t.context, text, length);
    return;
  }
  FILE* stream = stream_of(t);
  if (stream != nullptr) std::fwrite(text, 1, length, stream);
}

}  // namespace

void set_output_stream(FILE* stream) { replace({kStream, stream, nullptr, nullptr}); }

void set_output_callback(OutputCallback callback, void* context) {
  replace(callback != nullptr ? Target{kCallback, nullptr, callback, context}
                              : Target{kStandardOutput, nullptr, nullptr, nullptr});
}

void reset_output_sink() { replace({kStandardOutput, nullptr, nullptr, nullptr}); }

void out_printf(const char* format, ...) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  va_list args;
  va_start(args, format);
  if (s.target.kind != kCallback) {
    if (FILE* stream = stream_of(s.target)) std::vfprintf(stream, format, args);
    va_end(args);
    return;
  }
  char line[512];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length >= 0 && static_cast<size_t>(length) < sizeof line) {
    deliver(s.target, line, static_cast<size_t>(length));
  } else if (length >= 0) {
    std::string longer(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(longer.data(), longer.size(), format, again);
    deliver(s.target, longer.data(), static_cast<size_t>(length));
  }
  va_end(again);
}

void out_puts(const char* text) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  deliver(s.target, text, std::char_traits<char>::length(text));
  deliver(s.target, "\n", 1);
}

void out_write(const char* text) {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  deliver(s.target, text, std::char_traits<char>::length(text));
}

void out_flush() {
  OutputSink& s = sink();
  std::lock_guard lock(s.mutex);
  if (s.target.kind == kCallback) return;
  if (FILE* stream = stream_of(s.target)) std::fflush(stream);
}

OutputSinkScope::OutputSinkScope(FILE* stream) : saved_(replace({kStream, stream, nullptr, nullptr})) {}

OutputSinkScope::OutputSinkScope(OutputCallback callback, void* context)
    : saved_(replace(callback != nullptr ? Target{kCallback, nullptr, callback, context}
                                         : Target{kStandardOutput, nullptr, nullptr, nullptr})) {}

OutputSinkScope::~OutputSinkScope() { replace(saved_); }

}  // namespace tmode
