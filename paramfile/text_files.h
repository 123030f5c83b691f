// Parameter text files: INI-style files a person can read and edit.
// Exported files end their lines with "\r\n" (the frequency comment with
// "\n") and close with the section "[End]"; the imports accept any line end
// and match section and key names without regard to case.
#pragma once

#include "tuning/tuner.h"

namespace tmode {

// Writes the library's current hardware image: the sensor size and channel
// ranges, the frequency count and each frequency block (with a comment
// giving the frequency in kHz; its keys only without the short layout).
// The path, or the Tuner's default parameter path when there is none or it
// cannot be created. 1 written; 0 when no file can be created or the block
// names more than 3 driving chips, 4 sensing chips or 10 frequencies.
int export_hardware_text(Tuner& tuner, const char* path);

// Writes the model number and firmware version of the Tuner's software
// block (at most 4 and 14 characters) and the structure version 1.6.
// 1 written, -1 when no file can be created.
int export_model_text(Tuner& tuner, const char* path);

// Read every hardware (software) key of the file into the library's current
// hardware (software) image, absent keys taking their defaults, and store
// the block's checksum. 1 read; 0 when the file is missing ("File: %s dose
// not Exist") or names more than 3 driving chips, 4 sensing chips or 10
// frequencies. The image changes only when the whole file was read.
int import_hardware_text(Tuner& tuner, const char* path);
int import_software_text(Tuner& tuner, const char* path);

// The frequency of a frequency block in kHz for the configuration's
// Cpu_Speed, in single precision; infinite for a prescaler or divider of 0.
float frequency_block_khz(int cpu_speed, const uint8_t* frequency_block);

}  // namespace tmode
