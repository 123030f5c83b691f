#include "diagnostics/elapsed_stamp.h"

#include <type_traits>

#include "link/output_sink.h"

namespace tmode {

int64_t elapsed_ms(clock_t start, clock_t now) {
  // The counter wraps at its width (after 36 minutes of processor time where
  // clock_t has 32 bits): the difference is taken at that width, and so holds
  // across a wrap.
  using Unsigned = std::make_unsigned_t<clock_t>;
  const auto ticks = static_cast<std::make_signed_t<clock_t>>(static_cast<Unsigned>(now) -
                                                              static_cast<Unsigned>(start));
  return static_cast<int64_t>(ticks) * 1000 / CLOCKS_PER_SEC;
}

void format_elapsed_stamp(char* out, size_t capacity, int64_t ms) {
  std::snprintf(out, capacity, " TimeStamp @ %02lld:%02lld:%02lld.%03lld\n",
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms % 3600000 / 60000),
                static_cast<long long>(ms % 60000 / 1000), static_cast<long long>(ms % 1000));
}

void write_elapsed_stamp(FILE* stream, clock_t start) {
  char line[96];
  format_elapsed_stamp(line, sizeof line, elapsed_ms(start, std::clock()));
  out_write(line);
  if (stream != nullptr) std::fputs(line, stream);
}

}  // namespace tmode
