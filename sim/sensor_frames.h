// The frames the controller streams after '?','H' selects a data word: a
// function that gives a frame's values for a data word, and the cutting of
// a frame into 'J' reports [0x03, 3 + 2n, 'J', line, first RX, n x int16 LE]
// with n <= 29. Further frame types are further rows of the source table.
// Saturation frames carry a pair of signed bytes per node (first byte the
// lowest swing A, second the highest B) in place of the 16-bit value.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/command_table.h"
#include "sim/controller_state.h"

namespace tmode::sim {

inline constexpr uint16_t kWordRawL2 = 0x4000;
inline constexpr uint16_t kWordCookL2 = 0x4001;
inline constexpr uint16_t kWordStrayL2 = 0x4002;
inline constexpr uint16_t kWordRaw = 0x4004;
inline constexpr uint16_t kWordCook = 0x4008;
inline constexpr uint16_t kWordSaturationL2 = 0x4010;
inline constexpr uint16_t kWordSaturation = 0x4020;
inline constexpr uint16_t kWordPhaseData = 0x4040;
inline constexpr uint16_t kWordOpenTest = 0x4080;
inline constexpr int kValuesPerReport = 29;

struct Frame {
  int lines = 0;
  int columns = 0;
  std::vector<int16_t> values;  // line-major, lines x columns
};

// A frame of the panel's extra lines (0) and driving lines, node (t, r) of
// the driving lines given by the function.
void panel_frame(const ControllerState& s, Frame& f, int16_t (*node)(const SensorPanel&, int tx, int rx));

// One frame of the stream a data word selects (frame_number counts the
// frames sent since the word was selected); false when the word selects no
// frame stream (0x8000, 0, the parameter areas).
bool produce_frame(const ControllerState& s, uint16_t word, Frame& frame);

// A frame as the reports that carry it, line by line from (0, 0).
std::vector<Bytes> frame_reports(const Frame& frame);

// The reports of the stream's next frame as the panel's defects let them
// out: a lost report, a frame that never ends, reports outside the frame,
// and a stream that falls silent after its report limit (mid-frame too).
// Counts the reports in s.stream and ends the stream at the limit.
std::vector<Bytes> stream_reports(ControllerState& s, const Frame& frame);

}  // namespace tmode::sim
