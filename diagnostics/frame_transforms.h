// The transforms that turn a captured frame into the ImageTable for the
// image data types that do more than copy: touch signal, uniformity, the
// three-line cook, the uniformity test and the uniformity cook. Each reads
// R = rx_total columns of N frame lines and writes only table nodes that
// exist; a frame or a table too small for what a transform reads leaves the
// table as it was (the caller clears it before each frame).
#pragma once

#include <cstdint>

#include "diagnostics/log_records.h"
#include "maintenance/uniformity_format.h"

namespace tmode {

// Layout A: model 18, or 24/28 without the water line; layout B: 22 or 26,
// or 24/28 with it; none for any other model.
enum class FrameLayoutKind { kNone, kA, kB };
FrameLayoutKind frame_layout_kind(int model_code, bool water_line_enabled);

// R columns and N lines of a frame; the frame must hold them.
struct FrameExtent {
  int rx;
  int lines;
};

// Each transform returns 0 when it wrote the table, -1 when it left it
// alone.

// Column decoding of each line (needs R >= 4).
int touch_signal_transform(const ImageFrameBuffer& frame, FrameExtent extent, FrameLayoutKind layout,
                           ImageTable* table);

// Differences of neighbouring lines.
int uniformity_transform(const ImageFrameBuffer& frame, FrameExtent extent, FrameLayoutKind layout,
                         ImageTable* table);

// The three-line cook of models 18, 22 and 26 with the noise limit k
// (needs R >= 2). Code 18 puts frame line L at table line L + 1, where the
// table print expects the frame's Tx lines.
int three_line_transform(const ImageFrameBuffer& frame, FrameExtent extent, int k, int model_code,
                         ImageTable* table);

// The gain from the mutual-scaling word, else the open-scaling word (bits 0
// to 14); bit 15 of the chosen word switches multiply_mode on for good. No
// transform when both gains are 0.
int uniformity_test_transform(const ImageFrameBuffer& frame, FrameExtent extent, bool water_line,
                              uint16_t mutual_scaling, uint16_t open_scaling, bool* multiply_mode,
                              ImageTable* table);

// The uniformity table's points of one frequency, as loaded.
struct UniformityOffsets {
  const uint8_t* table = nullptr;
  int size = 0;
  UniformityFormat format;
  int freq_index = 0;
};

// Line differences less the uniformity offsets; points that name a node
// outside the frame are skipped.
int uniformity_cook_transform(const ImageFrameBuffer& frame, FrameExtent extent, int tx_total,
                              int extra_lines, bool water_line, const UniformityOffsets& offsets,
                              ImageTable* table);

}  // namespace tmode
