// The peak measurement of working-frequency selection: for one target, RS
// and GainA, the raw row of the target's TX line at every delay step.
#pragma once

#include <cstdint>

#include "protocol/function_ref.h"
#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kMaxDelayRange = 128;  // register 11 bit 7 is GainA's
inline constexpr uint16_t kPhaseDataWord = 0x4040;

// The phase-data frame: begin_phase_data readies it for delays lines of
// columns values each (false, changing nothing, beyond 128 lines or 170
// columns); phase_data_handler is the 'J' handler that fills it on the
// reader thread while registered, and phase_data_complete tells when its
// last report came in.
bool begin_phase_data(int delays, int columns);
void phase_data_handler(int key, int size, const uint8_t* report);
bool phase_data_complete();

// The receive lines of the tuner's sensing chips (the sum of RXEnd - RXStart
// + 1); -1 when a chip's range is reversed or the sum exceeds 170.
int receive_line_count(const Tuner& tuner);

// One raw row: each sensing chip's channels as int16 at its registers 16 +
// 2k, after a scan. The number of values, or -1.
int read_raw_row(const Tuner& tuner, int16_t* row, int capacity);

// The evaluated RX lines: IgnoreNumsOfRX up to (not including) the RX count
// - IgnoreNumsOfRX. False when that range is empty.
bool evaluated_rx_range(const Tuner& tuner, int* first, int* end);
// True for an RX line of the tuner's ignore list.
bool rx_ignored(const Tuner& tuner, int rx);

// The raw row of TX line tx_line at each delay step d from 0 to delays - 1:
// with controller_level 0 each delay is written to register 11 (bit 7 when
// gain_a is above 15), scanned and read; otherwise one phase-data scan
// streams them all. 1, or 0 when a command fails.
int for_each_delay(Tuner& tuner, int tx_line, int gain_a, int delays,
                   FunctionRef<void(int delay, const int16_t* row, int columns)> take);

// For delay steps 0 to D - 1 (D from the frequency template, at most 128):
// the smallest and largest |raw x 16 / 128 / 2| over the evaluated RX lines
// (IgnoreNumsOfRX to the RX count - IgnoreNumsOfRX, skipping the ignore
// list). The delay with the largest maximum gives peak_b and its minimum
// peak_a. With controller_level 0 each delay is written, scanned and read;
// otherwise one phase-data scan streams all delays. While the window may be
// adjusted the peaks are kept in the adjustment results table. 1, or 0 when
// D is 0, the RX range is empty or a command fails.
int measure_phase_peaks(Tuner& tuner, int target, int rs, int gain_a, const uint8_t* rs_per_chip,
                        int* peak_a, int* peak_b);

}  // namespace tmode
