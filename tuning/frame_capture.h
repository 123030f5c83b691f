// Reading one raw frame of a working frequency: the front end programmed
// for the frequency and each requested target, one scan per target.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kAllTargets = 255;

extern const uint8_t kCaptureTemplate[16];

// The per-chip RS values for a working RS value (chip 0's, shifted left by 4).
void target_rs_values(const Tuner& tuner, uint8_t rs_value, uint8_t* per_chip);

// Programs working frequency f from a 16-byte template into t: the clock
// divider (its reply in byte 2), the measure time ORed with 0xC0 in byte 3
// (kept when negative), the prescaler and the delay range (capped at 128) in
// bytes 12 and 13, written to register 0 of all chips; then the TX waveform
// and the phase bits 2. 1, or 0 when a command fails or the range is 0.
int program_working_frequency(Tuner& tuner, int f, const uint8_t* base_template, int measure_time,
                              bool stray_line, uint8_t* t);

// Programs the front end for working frequency f (TX gain, clock divider,
// the capture template with the measure time, the TX waveform) and reads,
// for target t (or each of 0 to 6 for 255), the raw row of its TX line into
// row t of the tuner's raw table; the stray line reads its driving lines
// together into row 0. 1, or 0 with " Failed to set correct TX gain" when
// the TX gain is refused, or 0 when another command fails.
int capture_frame(Tuner& tuner, int f, int target, int measure_time, bool stray_line);

// The TX lines a target scans: its CalTarget line, or for the stray line
// the first and last driving line.
void target_lines(const Tuner& tuner, int target, bool stray_line, int* first, int* last);

}  // namespace tmode
