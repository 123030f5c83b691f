// Reading the hardware images of other firmware generations by model code,
// and spreading a channel range over the sensing chips.
#pragma once

#include <cstdint>

namespace tmode {

// Model 18: byte 15 of hardware image 2; models 22 and 26: byte 16 of
// hardware image 3; models 24 and 28: byte 16 of hardware image 4. The byte
// goes to out as a 16-bit number; 0. Any other model: -1, out untouched.
int read_model_image_count(int reserved1, int reserved2, int model_code, uint16_t* out);

// The same image, byte 22 + 2 x index. -1 for another model or an index
// whose byte lies outside the image.
int read_model_image_entry(int reserved1, int reserved2, int model_code, int index, uint16_t* out);

// The hardware image of the model's firmware generation: image 2 for model
// 18, image 3 for 22 and 26, image 4 for 24 and 28, image 1 for all others.
// Their scaling words: bits 0-14 the factor, bit 15 the mode.
const uint8_t* model_parameter_image(int model_code);
// The load_parameter_images slot that fills that image: 2, 3, 4 or 1.
int model_parameter_slot(int model_code);
inline constexpr int kModelImageOpenScaling = 78;
inline constexpr int kModelImageMutualScaling = 80;

inline constexpr int kSplitChips = 4;
inline constexpr int kChipChannels = 44;

// Spreads channels F (byte 26) to F + N - 1 (N at byte 27) of hardware image
// 4 over up to 4 chips of 44 channels: one (first, last) byte pair per chip
// into pairs (8 bytes); (1, 0) marks a chip without channels. Chips after
// the last one used are not written. 1 when every channel found a chip (N
// of 0 included), else 0.
int split_channel_range(uint8_t* pairs);

}  // namespace tmode
