#include "app/tmode_session.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "link/discovery.h"
#include "link/link.h"
#include "link/link_session.h"

namespace tmode::cli {

void report_error(const char* format, ...) {
  std::fputs("tmode: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

Session::Session(const Globals& globals) : globals_(globals) {}

Session::~Session() {
  if (open_) close_link(0, 0);
  set_report_trace(nullptr, nullptr);
  if (trace_.file != nullptr) std::fclose(trace_.file);
}

int Session::open() {
  char path[kDevicePathSize] = {};
  if (!globals_.device.empty()) {
    if (set_device_path(globals_.device.c_str(), static_cast<int>(globals_.device.size())) != 1) {
      report_error("%s: the path is too long", globals_.device.c_str());
      return kExitUsage;
    }
    std::snprintf(path, sizeof path, "%s", globals_.device.c_str());
  } else if (discover_device(path) == 0) {
    report_error("no controller found (no supported hidraw node, no I2C node); name one with --device");
    return kExitNoDevice;
  }
  if (!globals_.trace.empty()) {
    trace_.file = std::fopen(globals_.trace.c_str(), "w");
    if (trace_.file == nullptr) {
      report_error("%s: %s", globals_.trace.c_str(), std::strerror(errno));
      return kExitFileRefused;
    }
    std::fputs(kReportTraceHeader, trace_.file);
  }
  trace_.start = std::chrono::steady_clock::now();
  set_report_trace(on_report, this);

  errno = 0;
  if (open_link(0, 0, 1) <= 0) {
    const int error = errno;
    if (error == EACCES || error == EPERM) {
      report_error("%s: permission denied: see the udev rule in the README", path);
    } else {
      report_error("%s: cannot open: %s", path, error != 0 ? std::strerror(error) : "no such controller");
    }
    return kExitOpenFailed;
  }
  open_ = true;
  return kExitOk;
}

void Session::begin_call() {
  reports_in_at_call_ = trace_.reports_in.load();
  call_start_ = std::chrono::steady_clock::now();
}

int Session::failure(const char* what) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - call_start_).count();
  if (!link_is_open()) {
    report_error("%s: the controller went away", what);
    return kExitOpenFailed;
  }
  if (trace_.reports_in.load() == reports_in_at_call_) {
    report_error("%s: no controller answered within %.1f s", what, seconds);
    return kExitTimeout;
  }
  report_error("%s: refused by the controller", what);
  return kExitRefused;
}

void Session::on_report(void* context, TraceDirection direction, const uint8_t* report, int size) {
  Trace& trace = static_cast<Session*>(context)->trace_;
  if (direction == TraceDirection::kFromController) trace.reports_in.fetch_add(1);
  if (trace.file == nullptr) return;
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - trace.start).count();
  char line[kTraceLineSize];
  const int length = format_report_trace_line(line, us, direction, report, size);
  std::fwrite(line, 1, static_cast<size_t>(length), trace.file);
}

}  // namespace tmode::cli
