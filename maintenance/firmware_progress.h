// Progress of a firmware transfer: a callback the transfers call before each
// record they send. By default it prints the record file's "\r(I) n%" lines
// on the library's output and stays silent for packages, so an application
// that sets none sees the library's usual output.
#pragma once

namespace tmode {

struct FirmwareProgress {
  int sent;     // records of this transfer already sent
  int total;    // records the whole transfer sends (main records and lists, or blocks)
  // The record file's "(I)" figure: 100 * the record's index in its list
  // divided by the file's main records (it starts again for each list);
  // -1 for a package, which prints no progress.
  int percent;
};

// Runs on the thread that runs the transfer (the caller's thread of
// send_firmware, send_record_list or send_firmware_package), never on the
// link's reader thread.
using FirmwareProgressCallback = void (*)(void* context, const FirmwareProgress& progress);

// Sets the callback; nullptr restores the default. Set it while no transfer
// runs: the transfer reads it on its own thread without a lock.
void set_firmware_progress(FirmwareProgressCallback callback, void* context);

// The default: "\r(I) n%" with the percent on the library's output sink
// (link/output_sink.h), flushed; nothing for a package.
void print_firmware_progress(void* context, const FirmwareProgress& progress);

// Reports one step to the callback in force (the transfers' own call).
void report_firmware_progress(const FirmwareProgress& progress);

// Sets a callback for a scope and restores the default after it.
class FirmwareProgressScope {
 public:
  FirmwareProgressScope(FirmwareProgressCallback callback, void* context) { set_firmware_progress(callback, context); }
  ~FirmwareProgressScope() { set_firmware_progress(nullptr, nullptr); }
  FirmwareProgressScope(const FirmwareProgressScope&) = delete;
  FirmwareProgressScope& operator=(const FirmwareProgressScope&) = delete;
};

}  // namespace tmode
