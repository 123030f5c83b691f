#include "diagnostics/log_stream.h"

#include "diagnostics/diagnostics_state.h"

namespace tmode {

SharedLogFile::SharedLogFile(LogSlot slot, const char* mode) {
  if (diagnostics_state().log_stream != nullptr) std::fclose(diagnostics_state().log_stream);
  diagnostics_state().log_stream = std::fopen(diagnostics_state().log_paths.slots[slot], mode);
}

SharedLogFile::~SharedLogFile() { close(); }

void SharedLogFile::close() { close_shared_log(); }

void close_shared_log() {
  if (diagnostics_state().log_stream != nullptr) std::fclose(diagnostics_state().log_stream);
  diagnostics_state().log_stream = nullptr;
}

FILE* SharedLogFile::stream() const { return diagnostics_state().log_stream; }

void write_separator_line(FILE* out) {
  std::fputs("////////////////////////,"
             "//////////////////////////////////////////////////////////////////////////////////,"
             "/////////////////////////////////////////////////////////////////////\r\n",
             out);
}

}  // namespace tmode
