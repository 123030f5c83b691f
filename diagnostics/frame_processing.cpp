#include "diagnostics/frame_processing.h"

#include "diagnostics/frame_transforms.h"
#include "diagnostics/diagnostics_state.h"
#include "maintenance/maintenance_state.h"
#include "protocol/protocol_state.h"
#include "maintenance/byte_order.h"
#include "maintenance/model_image_access.h"

namespace tmode {

namespace {

constexpr int kThreeLineLimit = 3;

void copy_frame(const ImageFrameBuffer& frame, int rx, int lines, bool water_line, ImageTable* table) {
  for (int line = 0; line < lines; ++line) {
    int target = line;
    if (!water_line && line > 0) target = line + 1 < lines ? line + 1 : -1;  // the last line is not taken
    if (target < 0 || target >= kTableLines) continue;
    for (int c = 0; c < rx && c < kTableColumns; ++c) table->values[target][c] = frame.values[line * frame.rx_count + c];
  }
}

}  // namespace

void process_frame(int code, const ImageFrameBuffer& frame, int lines, ImageTable* table) {
  const int rx = protocol_state().ranges.rx_total;
  const FrameLayout& layout = diagnostics_state().frame;
  const int model = maintenance_state().model_code;
  const bool water = layout.water_line_enabled;
  if (frame.values == nullptr || rx > frame.rx_count || lines > frame.line_count) return;
  const FrameExtent extent{rx, lines};
  switch (code) {
    case 4:
      touch_signal_transform(frame, extent, frame_layout_kind(model, water), table);
      return;
    case 5:
      uniformity_transform(frame, extent, frame_layout_kind(model, water), table);
      return;
    case 6:
      if (model == 18 || model == 22 || model == 26) {
        const int three_lines = protocol_state().ranges.tx_total + 2;
        three_line_transform(frame, {rx, three_lines < lines ? three_lines : lines}, kThreeLineLimit, model, table);
        return;
      }
      break;
    case 9: {
      const uint8_t* image = model_parameter_image(model);
      uniformity_test_transform(frame, extent, water, read_le16(image + kModelImageMutualScaling),
                                read_le16(image + kModelImageOpenScaling), &diagnostics_state().capture.multiply_mode, table);
      return;
    }
    case 10: {
      const UniformityTableState& u = maintenance_state().uniformity;
      UniformityOffsets offsets;
      offsets.table = u.buffer.get();
      offsets.size = u.buffer_size;
      offsets.format = u.format;
      offsets.freq_index = u.freq_index;
      uniformity_cook_transform(frame, extent, protocol_state().ranges.tx_total, layout.extra_lines, water, offsets, table);
      return;
    }
    default:
      break;
  }
  copy_frame(frame, rx, lines, water, table);
}

void write_image_table(FILE* file, const ImageTable& table, int lines) {
  const int rx = protocol_state().ranges.rx_total;
  const bool water = diagnostics_state().frame.water_line_enabled;
  for (int r = 0; r < rx && r < kTableColumns; ++r) {
    std::fprintf(file, "Rx[ %02d ]", r);
    for (int line = 0; line < lines && line < kTableLines; ++line) {
      if (!water && line == 1) continue;
      std::fprintf(file, ",%d", table.values[line][r]);
    }
    std::fputs("\r\n", file);
  }
  std::fputs(",Noise,", file);
  if (water) std::fputs("Water,", file);
  for (int t = 0; t <= lines - 3; ++t) std::fprintf(file, water ? "Tx[%02d]," : "Tx[ %02d ],", t);
  std::fputs("\r\nImage Data End\r\n", file);
}

}  // namespace tmode
