// Progress of a parameter block transfer: a callback that the block reads and
// writes call when they start and after each chunk the controller took. The
// default prints nothing, so an application that sets none sees the
// library's usual output.
#pragma once

namespace tmode {

struct ParameterProgress {
  int type;      // the block: 0 software, 1 hardware, 2 uniformity
  bool writing;  // a write ('?','I'); false for a read ('?','J')
  int done;      // bytes of this transfer through so far (0 at its start)
  int total;     // bytes the transfer moves
};

// Runs on the thread that runs the transfer (the caller's thread of
// read_parameter_block or write_parameter_block), never on the link's reader
// thread.
using ParameterProgressCallback = void (*)(void* context, const ParameterProgress& progress);

// Sets the callback; nullptr restores the default. Set it while no transfer
// runs: the transfer reads it on its own thread without a lock.
void set_parameter_progress(ParameterProgressCallback callback, void* context);

// The default: nothing.
void ignore_parameter_progress(void* context, const ParameterProgress& progress);

// Reports one step to the callback in force (the transfers' own call).
void report_parameter_progress(const ParameterProgress& progress);

// Sets a callback for a scope and restores the default after it.
class ParameterProgressScope {
 public:
  ParameterProgressScope(ParameterProgressCallback callback, void* context) {
    set_parameter_progress(callback, context);
  }
  ~ParameterProgressScope() { set_parameter_progress(nullptr, nullptr); }
  ParameterProgressScope(const ParameterProgressScope&) = delete;
  ParameterProgressScope& operator=(const ParameterProgressScope&) = delete;
};

}  // namespace tmode
