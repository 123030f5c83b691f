#include "app/tmode_library_lines.h"

namespace tmode::cli {

LibraryLines::LibraryLines(const Globals& globals, Output output)
    : target_(globals.quiet                                      ? nullptr
              : globals.json || output == Output::kValues ? stderr
                                                          : stdout),
      scope_(forward, this) {}

void LibraryLines::forward(void* context, const char* text, size_t length) {
  auto* self = static_cast<LibraryLines*>(context);
  if (self->target_ == nullptr || length == 0) return;
  std::fwrite(text, 1, length, self->target_);
  self->open_line_ = text[length - 1] != '\n';
}

void LibraryLines::end_line() {
  out_flush();
  if (target_ == nullptr) return;
  if (open_line_) std::fputc('\n', target_);
  open_line_ = false;
  std::fflush(target_);
}

}  // namespace tmode::cli
