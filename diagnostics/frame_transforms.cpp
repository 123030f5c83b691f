#include "diagnostics/frame_transforms.h"

namespace tmode {

namespace {

bool frame_holds(const ImageFrameBuffer& frame, FrameExtent e) {
  return frame.values != nullptr && e.rx >= 1 && e.lines >= 1 && e.rx <= frame.rx_count &&
         e.lines <= frame.line_count && e.rx <= kTableColumns && e.lines <= kTableLines;
}

int value(const ImageFrameBuffer& frame, int line, int rx) { return frame.values[line * frame.rx_count + rx]; }

// Writes a table node when the table has it.
void put(ImageTable* table, int line, int rx, int v) {
  if (line >= 0 && line < kTableLines && rx >= 0 && rx < kTableColumns) {
    table->values[line][rx] = static_cast<int16_t>(v);
  }
}

void copy_line(const ImageFrameBuffer& frame, FrameExtent e, int line, ImageTable* table) {
  for (int c = 0; c < e.rx; ++c) put(table, line, c, value(frame, line, c));
}

void copy_leading_lines(const ImageFrameBuffer& frame, FrameExtent e, int count, ImageTable* table) {
  for (int line = 0; line < count && line < e.lines; ++line) copy_line(frame, e, line, table);
}

int decoded(const ImageFrameBuffer& frame, int r, int line, int c) {
  const auto v = [&](int column) { return value(frame, line, column); };
  if (c == 0) return -v(0);
  if (c == 1) return (v(0) >> 1) - v(1);
  if (c == r - 2) return v(r - 3) - (v(r - 2) >> 1);
  if (c == r - 1) return v(r - 2);
  return (v(c - 1) - v(c)) >> 1;
}

// Frame lines first..last-1 as differences with the next line, each to
// table line L + shift.
void line_differences(const ImageFrameBuffer& frame, FrameExtent e, int first, int end, int shift,
                      ImageTable* table) {
  for (int line = first; line < end && line + 1 < e.lines; ++line) {
    for (int c = 0; c < e.rx; ++c) put(table, line + shift, c, value(frame, line + 1, c) - value(frame, line, c));
  }
}

}  // namespace

FrameLayoutKind frame_layout_kind(int model_code, bool water_line_enabled) {
  if (model_code == 18) return FrameLayoutKind::kA;
  if (model_code == 22 || model_code == 26) return FrameLayoutKind::kB;
  if (model_code == 24 || model_code == 28) return water_line_enabled ? FrameLayoutKind::kB : FrameLayoutKind::kA;
  return FrameLayoutKind::kNone;
}

int touch_signal_transform(const ImageFrameBuffer& frame, FrameExtent e, FrameLayoutKind layout,
                           ImageTable* table) {
  if (layout == FrameLayoutKind::kNone || !frame_holds(frame, e) || e.rx < 4) return -1;
  const bool a = layout == FrameLayoutKind::kA;
  copy_leading_lines(frame, e, a ? 1 : 2, table);
  for (int line = a ? 1 : 2; line < e.lines; ++line) {
    for (int c = 0; c < e.rx; ++c) put(table, a ? line + 1 : line, c, decoded(frame, e.rx, line, c));
  }
  return 0;
}

int uniformity_transform(const ImageFrameBuffer& frame, FrameExtent e, FrameLayoutKind layout,
                         ImageTable* table) {
  if (layout == FrameLayoutKind::kNone || !frame_holds(frame, e)) return -1;
  if (layout == FrameLayoutKind::kA) {
    copy_leading_lines(frame, e, 1, table);
    line_differences(frame, e, 1, e.lines - 2, 1, table);  // L = 1 .. N-3 to L + 1
  } else {
    copy_leading_lines(frame, e, 2, table);
    line_differences(frame, e, 2, e.lines - 1, 0, table);  // L = 2 .. N-2
  }
  return 0;
}

int three_line_transform(const ImageFrameBuffer& frame, FrameExtent e, int k, int model_code,
                         ImageTable* table) {
  if (model_code != 18 && model_code != 22 && model_code != 26) return -1;
  if (!frame_holds(frame, e) || e.rx < 2) return -1;
  const int first = model_code == 18 ? 1 : 2;
  const int r = e.rx;

  int s = 0, n = 0;
  for (int line = first; line < e.lines; ++line) {
    for (int c = 0; c < r; ++c) {
      const int v = value(frame, line, c);
      if (v >= -k && v <= k) {
        s += v;
        ++n;
      }
    }
  }
  const int m = n > 0 ? (s + s / 2 + 1) / n : 0;

  copy_leading_lines(frame, e, first, table);
  int w[kTableColumns];
  for (int line = first; line < e.lines; ++line) {
    w[r - 1] = 0;
    for (int c = r - 2; c >= 0; --c) w[c] = w[c + 1] - value(frame, line, c) + m;
    const int gap = static_cast<uint8_t>(value(frame, line, r - 1) - w[0]);
    const int target = model_code == 18 ? line + 1 : line;
    for (int c = 0; c < r; ++c) put(table, target, c, w[c] + (r - 1 - c) * gap / (r - 1));
  }
  return 0;
}

int uniformity_test_transform(const ImageFrameBuffer& frame, FrameExtent e, bool water_line,
                              uint16_t mutual_scaling, uint16_t open_scaling, bool* multiply_mode,
                              ImageTable* table) {
  const uint16_t word = (mutual_scaling & 0x7FFF) != 0 ? mutual_scaling : open_scaling;
  const int gain = word & 0x7FFF;
  if (gain == 0 || !frame_holds(frame, e)) return -1;
  if ((word & 0x8000) != 0) *multiply_mode = true;

  const int first = water_line ? 2 : 1;
  const int end = water_line ? e.lines : e.lines - 1;
  const int shift = water_line ? 0 : 1;
  for (int line = first; line < end; ++line) {
    for (int c = 0; c < e.rx; ++c) {
      const int v = value(frame, line, c);
      put(table, line + shift, c, (*multiply_mode ? gain * v / 10 : v * 10 / gain) >> 6);
    }
  }
  for (int c = 0; c < e.rx; ++c) {
    table->values[0][c] = 0;
    table->values[1][c] = 0;
  }
  for (int line = 2; line < e.lines; ++line) {
    for (int c = 0; c < e.rx; ++c) {
      const bool edge = line == e.lines - 1 || c == e.rx - 1;
      table->values[line][c] =
          edge ? 0 : static_cast<int16_t>(table->values[line + 1][c] - table->values[line][c]);
    }
  }
  return 0;
}

int uniformity_cook_transform(const ImageFrameBuffer& frame, FrameExtent e, int tx_total, int extra_lines,
                              bool water_line, const UniformityOffsets& offsets, ImageTable* table) {
  if (!frame_holds(frame, e)) return -1;
  if (!water_line) {
    copy_leading_lines(frame, e, 1, table);
    line_differences(frame, e, 1, e.lines - 2, 1, table);
  } else {
    copy_leading_lines(frame, e, 2, table);
    line_differences(frame, e, 2, e.lines - 1, 0, table);
    const bool checkerboard = offsets.table != nullptr && offsets.size > 7 && offsets.table[7] == 1;
    for (int line = 1; checkerboard && line < tx_total - 2 && line < e.lines; ++line) {
      for (int c = 1; c < e.rx - 2; ++c) {
        if ((line % 2 == 1) != (c % 2 == 1)) table->values[line][c] = 0;
      }
    }
  }
  if (offsets.table == nullptr) return 0;

  const bool wide_entries = offsets.format.wide || offsets.format.compact;
  const int line_shift = water_line && wide_entries ? extra_lines : 2;
  const auto subtract = [&](const UniformityPoint& p) {
    const int line = p.tx + line_shift;
    if (line < 0 || line >= e.lines || p.rx >= e.rx) return;  // not a node of this frame
    table->values[line][p.rx] = static_cast<int16_t>(table->values[line][p.rx] - p.offset);
  };
  UniformityPoint point{};
  if (offsets.format.compact) {
    CompactPointReader reader;
    if (!reader.start(offsets.table, offsets.size, offsets.freq_index)) return 0;
    for (int i = 0; i < reader.count() && reader.next(&point); ++i) subtract(point);
    return 0;
  }
  UniformitySection section;
  if (!locate_uniformity_section(offsets.table, offsets.size, offsets.format, offsets.freq_index, &section)) {
    return 0;
  }
  for (int i = 0; i < section.count; ++i) subtract(uniformity_point(offsets.table, offsets.format, section, i));
  return 0;
}

}  // namespace tmode
