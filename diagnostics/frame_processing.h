// A captured frame into the ImageTable by its image data type, and the
// table as the rows of an image record.
#pragma once

#include <cstdio>

#include "diagnostics/log_records.h"

namespace tmode {

// Copies the frame (or applies the code's transform) into the table, which
// the caller has cleared. The frame holds rx_total x (tx_total +
// extra_lines) values; lines is that line count.
void process_frame(int code, const ImageFrameBuffer& frame, int lines, ImageTable* table);

// One row per Rx channel, the footer row and "Image Data End".
void write_image_table(FILE* file, const ImageTable& table, int lines);

}  // namespace tmode
