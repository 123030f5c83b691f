// Programming the sensing chips' analog front end for the tuning stages:
// the register templates, the phase bits, the TX waveform, the RS values of
// each chip and the per-target chip set-up.
#pragma once

#include <cstdint>

#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kAllChips = 255;
inline constexpr int kTemplateSize = 16;
inline constexpr int kPhaseByte = 14;
inline constexpr int kMaxWaveformLength = 111;
inline constexpr int kWaveformRegister = 144;

extern const uint8_t kFrequencyTemplate[kTemplateSize];
extern const uint8_t kRegister136Template[8];

// The tuner's sensing chips, 0 when its configuration names more than 4.
int sensing_chip_count(const Tuner& tuner);

// Sets bits 0 and 1 of template byte 14 to phase and writes that byte to
// register 14 of all chips. 1, or 0 when the write fails.
int write_phase_bits(uint8_t* register_template, int phase);

// The delay range (template byte 2 AND 7) x (prescaler AND 127) of a
// template; 0 means no range.
int delay_range(const uint8_t* register_template, int prescaler);

// The waveform of length L = (factor AND 7, 3 when 0) x max(p AND 127, 12):
// byte k is amplitude x sin(3.1416 k / L), truncated (or the amplitude when
// flat). Written to register 144 of all chips, read back from each sensing
// chip and rewritten to a chip that differs, at most 20 times. 1, or 0 when
// L exceeds 111 or a chip never matches.
int program_tx_waveform(const Tuner& tuner, int amplitude, int divider_factor, int prescaler, bool flat);

// sin(x) by its series through the x^39/39! term.
double series_sine(double x);

// The RS value (shifted left by 4) of each sensing chip for RS: ratio =
// RRatio c / RefRSIndex (1 when RefRSIndex is 0), g = RS x ratio + (1 -
// ratio) x 16.2, rounded half up, clamped to 0..15.
void rs_values_for(const Tuner& tuner, int rs, uint8_t* per_chip);

// Sets up every sensing chip for one target: register-5 block [0x80 when
// flags bit 4, 0x58, (gain_a AND 15) OR the chip's RS value, its CalVref],
// register 11 the delay (bit 7 when gain_a is above 15), register 139 the
// given value, register 1 (range byte << 4) OR (gain_d AND 15), with the
// phase bits of register 14 cleared meanwhile. 1 when every chip was set up.
int set_up_sensing_chips(const Tuner& tuner, int gain_a, const uint8_t* rs_per_chip, int delay,
                         uint8_t register_139, uint8_t flags, uint8_t gain_d);

}  // namespace tmode
