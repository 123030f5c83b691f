#include "diagnostics/log_stream.h"

#include "link/library_state.h"

namespace tmode {

SharedLogFile::SharedLogFile(LogSlot slot, const char* mode) {
  if (library.log_stream != nullptr) std::fclose(library.log_stream);
  library.log_stream = std::fopen(library.log_paths.slots[slot], mode);
}

SharedLogFile::~SharedLogFile() {
  if (library.log_stream != nullptr) std::fclose(library.log_stream);
  library.log_stream = nullptr;
}

FILE* SharedLogFile::stream() const { return library.log_stream; }

}  // namespace tmode
