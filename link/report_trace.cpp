#include "link/report_trace.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

namespace tmode {

namespace {

// trace_on is the fast path's only read. The callback and its context are
// written by set_report_trace (any thread) and read by trace_report (caller
// and reader threads), both under trace_mutex, which also keeps the calls
// from overlapping.
std::atomic<bool> trace_on{false};
std::mutex trace_mutex;
ReportTraceCallback trace_callback = nullptr;
void* trace_context = nullptr;

// The trace file of open_report_trace_file; guarded by trace_mutex while a
// trace is on (file_trace runs under it).
struct TraceFile {
  FILE* stream = nullptr;
  timespec start{};
};
TraceFile trace_file;

int64_t ns_since(const timespec& start) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (static_cast<int64_t>(now.tv_sec) - start.tv_sec) * 1000000000 + (now.tv_nsec - start.tv_nsec);
}

// A framed report (id 0x03, length, payload) without the zeros that pad a
// write to 64 bytes; anything else whole.
int framed_size(const uint8_t* report, int size) {
  if (size >= 2 && report[0] == 0x03 && report[1] + 2 <= size) return report[1] + 2;
  return size;
}

void file_trace(void* context, TraceDirection direction, const uint8_t* report, int size) {
  auto* file = static_cast<TraceFile*>(context);
  // One line in one call: a line is whole in the file even when the
  // process dies right after.
  char line[kTraceLineSize];
  const int length = format_report_trace_line(line, ns_since(file->start) / 1000, direction, report, size);
  std::fwrite(line, 1, static_cast<size_t>(length), file->stream);
}

}  // namespace

int format_report_trace_line(char* out, int64_t us, TraceDirection direction, const uint8_t* report, int size) {
  size = framed_size(report, size);
  if (size > 64) size = 64;
  if (us < 0) us = 0;
  int at = std::snprintf(out, kTraceLineSize, "%lld.%06lld %c", static_cast<long long>(us / 1000000),
                         static_cast<long long>(us % 1000000),
                         direction == TraceDirection::kToController ? '>' : '<');
  for (int i = 0; i < size; ++i) {
    at += std::snprintf(out + at, static_cast<size_t>(kTraceLineSize - at), " %02x", report[i]);
  }
  out[at++] = '\n';
  out[at] = '\0';
  return at;
}

void set_report_trace(ReportTraceCallback callback, void* context) {
  std::lock_guard<std::mutex> lock(trace_mutex);
  trace_callback = callback;
  trace_context = context;
  trace_on.store(callback != nullptr, std::memory_order_release);
}

void trace_report(TraceDirection direction, const uint8_t* report, int size) {
  if (!trace_on.load(std::memory_order_acquire) || size <= 0) return;
  std::lock_guard<std::mutex> lock(trace_mutex);
  if (trace_callback != nullptr) trace_callback(trace_context, direction, report, size);
}

int open_report_trace_file(const char* path) {
  close_report_trace_file();
  FILE* stream = path != nullptr ? std::fopen(path, "w") : nullptr;
  if (stream == nullptr) {
    if (path == nullptr) errno = EINVAL;
    return -1;
  }
  std::fputs(kReportTraceHeader, stream);
  {
    std::lock_guard<std::mutex> lock(trace_mutex);
    trace_file.stream = stream;
    clock_gettime(CLOCK_MONOTONIC, &trace_file.start);
  }
  set_report_trace(file_trace, &trace_file);
  return 0;
}

int close_report_trace_file() {
  FILE* stream = nullptr;
  {
    std::lock_guard<std::mutex> lock(trace_mutex);
    if (trace_callback == file_trace) {
      trace_callback = nullptr;
      trace_context = nullptr;
      trace_on.store(false, std::memory_order_release);
    }
    stream = trace_file.stream;
    trace_file.stream = nullptr;
  }
  if (stream == nullptr) return 0;
  const bool written = std::ferror(stream) == 0;
  return std::fclose(stream) == 0 && written ? 0 : -1;
}

}  // namespace tmode
