#include "app/tmode_block_progress.h"

#include "maintenance/parameter_images.h"

namespace tmode::cli {

BlockProgress::BlockProgress(const Globals& globals, Shown shown, long expected, LibraryLines* lines)
    : globals_(globals), shown_(shown), expected_(expected), lines_(lines), scope_(report, this) {}

void BlockProgress::start_display() {
  display_.reset();
  if (lines_ != nullptr) lines_->end_line();
  display_.emplace(globals_, "parameters");
}

// Runs on the thread that runs the transfer: tmode's own.
void BlockProgress::report(void* context, const tmode::ParameterProgress& progress) {
  auto* self = static_cast<BlockProgress*>(context);
  const bool starts = progress.done == 0;
  if (self->shown_ == Shown::kHardwareWrites) {
    if (!progress.writing || progress.type != kHardwareBlock) return;
    if (starts) self->start_display();
    if (!self->display_) return;
    self->display_->update(progress.done, progress.total);
    if (progress.done == progress.total) {
      self->display_->finish();
      self->display_.reset();
    }
    return;
  }
  if (!self->display_) self->start_display();
  if (starts) {
    self->base_ += self->last_total_;
    self->last_total_ = progress.total;
  }
  const long total = self->base_ + progress.total > self->expected_ ? self->base_ + progress.total : self->expected_;
  self->display_->update(self->base_ + progress.done, total);
}

void BlockProgress::finish() {
  if (display_) display_->finish();
  display_.reset();
}

}  // namespace tmode::cli
