// Binary parameter files: a 64-byte header, then the whole hardware (2048
// bytes) or software (512 bytes) block.
//
// Header: u32 size word (2112 hardware, 572 software), u16 file checksum
// (0x2B9D plus header bytes 6 to 63 and every block byte), u32 header size
// 64, the builder name (16 bytes, unterminated), the local date and time
// "yyyy/mm/dd,hh:mm:ss" (20 bytes with its zero), the block type at 60.
#pragma once

#include <cstdint>
#include <ctime>

#include "tuning/tuner.h"

namespace tmode {

inline constexpr int kBinFileHeaderSize = 64;

// Write the library's current hardware or software image, with bytes 6 and
// 7 set from the Tuner's parameter version bytes first, to path (or, when no
// path is given or it cannot be created, to the Tuner's default parameter
// path). 0, or -1 when no file can be created or written.
int save_hardware_bin_file(Tuner& tuner, const char* path);
int save_software_bin_file(Tuner& tuner, const char* path);

// The same with the date and time given.
int save_bin_file_at(Tuner& tuner, const char* path, int block_type, const std::tm& local);

// Read a file's block into the library's current hardware or software
// image: 1 loaded, 0 failed. A missing file prints "File: %s dose not
// Exist"; a file of the other block type fails silently; a file shorter
// than its header, a header size above 64 or no block bytes print
// "LoadHWBinFile FAIL!" or "LoadSWBinFile FAIL!". A file shorter than the
// block fills its start; the image changes only when the load succeeds.
int load_hardware_bin_file(Tuner& tuner, const char* path);
int load_software_bin_file(Tuner& tuner, const char* path);

// Zeroes the library's current hardware (2048) and software (512) images.
void clear_parameter_images();

}  // namespace tmode
