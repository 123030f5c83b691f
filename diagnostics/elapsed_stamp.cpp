#include "diagnostics/elapsed_stamp.h"

namespace tmode {

int64_t elapsed_ms(clock_t start, clock_t now) {
  const int64_t ticks = static_cast<int64_t>(now) - static_cast<int64_t>(start);
  return ticks * 1000 / CLOCKS_PER_SEC;
}

void format_elapsed_stamp(char* out, size_t capacity, int64_t ms) {
  std::snprintf(out, capacity, " TimeStamp @ %02lld:%02lld:%02lld.%03lld\n",
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms % 3600000 / 60000),
                static_cast<long long>(ms % 60000 / 1000), static_cast<long long>(ms % 1000));
}

void write_elapsed_stamp(FILE* stream, clock_t start) {
  char line[96];
  format_elapsed_stamp(line, sizeof line, elapsed_ms(start, std::clock()));
  std::fputs(line, stdout);
  if (stream != nullptr) std::fputs(line, stream);
}

}  // namespace tmode
