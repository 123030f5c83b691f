#include "app/tmode_progress.h"

#include <unistd.h>

namespace tmode::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

ProgressDisplay::ProgressDisplay(const Globals& globals, const char* label) : label_(label) {
  if (globals.quiet) return;
  if (globals.json) {
    if (::isatty(STDERR_FILENO)) {
      out_ = stderr;
      bar_ = true;
    }
    return;
  }
  out_ = stdout;
  bar_ = ::isatty(STDOUT_FILENO) != 0;
}

ProgressDisplay::~ProgressDisplay() {
  if (line_open_) {
    std::fputc('\n', out_);
    std::fflush(out_);
  }
}

void ProgressDisplay::update(long done, long total) {
  if (out_ == nullptr || total <= 0) return;
  total_ = total;
  if (done < 0) done = 0;
  if (done > total) done = total;
  const int percent = static_cast<int>(100 * done / total);
  if (percent == shown_percent_) return;
  shown_percent_ = percent;
  if (!bar_) {
    std::fprintf(out_, "progress %d%%\n", percent);
  } else {
    const int filled = static_cast<int>(kBarWidth * done / total);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(out_, "\r%s [%s] %3d%% (%ld/%ld)", label_, bar, percent, done, total);
    line_open_ = true;
  }
  std::fflush(out_);
}

void ProgressDisplay::finish() {
  if (out_ == nullptr) return;
  update(total_ > 0 ? total_ : 1, total_ > 0 ? total_ : 1);
  if (line_open_) {
    std::fputc('\n', out_);
    std::fflush(out_);
    line_open_ = false;
  }
}

}  // namespace tmode::cli
