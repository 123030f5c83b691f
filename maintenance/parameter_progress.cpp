#include "maintenance/parameter_progress.h"

#include "maintenance/maintenance_state.h"

namespace tmode {

void set_parameter_progress(ParameterProgressCallback callback, void* context) {
  ParameterProgressHook& hook = maintenance_state().parameter_progress;
  hook.callback = callback != nullptr ? callback : ignore_parameter_progress;
  hook.context = callback != nullptr ? context : nullptr;
}

void ignore_parameter_progress(void* /*context*/, const ParameterProgress& /*progress*/) {}

void report_parameter_progress(const ParameterProgress& progress) {
  const ParameterProgressHook& hook = maintenance_state().parameter_progress;
  hook.callback(hook.context, progress);
}

}  // namespace tmode
