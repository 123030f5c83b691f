// Image captures: the 'J' image reports the controller streams after a
// data-select word, assembled into frames, single-shot into typed image
// records or continuously into a double buffer; and the touch information.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kImageTableBytes = 45408;  // 132 x 172 signed 16-bit

// Clears the capture's assembly state, reads the sensor size and derives
// the reports per line (one report carries at most 29 values). The result
// of read_sensor_size: 0 on success. The water-line setting is kept.
int reset_image_capture(int reserved1, int reserved2);

// Whether frames carry the water line (line 1, before the Tx lines): it
// decides the copy into the image table, the transforms' layout and the
// record's columns. Off by default.
void set_water_line_enabled(int reserved1, int reserved2, int enabled);

// Resets the capture state, then allocates the single-shot frame buffer for
// the sensor size unless one of that size exists.
void alloc_image_buffer(int reserved1, int reserved2);
void free_image_buffer(int reserved1, int reserved2);

// Captures one frame of an ImageDataType code and appends its record to
// the type's log. 0 (nothing written for a code without a record, a log
// that cannot be opened, or no frame buffer: "malloc fail").
int capture_image_record(int reserved1, int reserved2, int code);

// Continuous capture into a front and a back buffer. 0; start refuses with
// -1 a sensor the tables cannot hold or a handler that cannot be registered.
int start_image_stream(int reserved1, int reserved2);
int stop_image_stream(int reserved1, int reserved2);

// Processes the newest complete frame by the code into the ImageTable
// unless that was done already, and copies the table (45408 bytes) to
// destination. 1 when this call processed a new frame, else 0.
int get_image_frame(int reserved1, int reserved2, int code, uint8_t* destination);

// Waits up to timeout_ms, while a continuous capture runs, for a frame that
// get_image_frame has not processed yet, so that a caller need not poll:
// 1 when there is one, 0 on timeout or without a capture.
int wait_image_frame(int reserved1, int reserved2, int timeout_ms);

// '?','h' touch information into the touch-information block.
int start_touch_info(int reserved1, int reserved2);
int stop_touch_info(int reserved1, int reserved2);

}  // namespace tmode
