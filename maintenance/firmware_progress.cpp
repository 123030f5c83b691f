#include "maintenance/firmware_progress.h"

#include "link/output_sink.h"
#include "maintenance/maintenance_state.h"

namespace tmode {

void set_firmware_progress(FirmwareProgressCallback callback, void* context) {
  FirmwareProgressHook& hook = maintenance_state().firmware_progress;
  hook.callback = callback != nullptr ? callback : print_firmware_progress;
  hook.context = callback != nullptr ? context : nullptr;
}

void print_firmware_progress(void* /*context*/, const FirmwareProgress& progress) {
  if (progress.percent < 0) return;
  out_printf("\r(I) %d%%", progress.percent);
  out_flush();
}

void report_firmware_progress(const FirmwareProgress& progress) {
  const FirmwareProgressHook& hook = maintenance_state().firmware_progress;
  hook.callback(hook.context, progress);
}

}  // namespace tmode
