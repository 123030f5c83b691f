// Saving, exporting, importing and writing the controller's hardware and
// software parameters, each in one call that creates its Tuner, prepares it
// and destroys it on every path. The two leading arguments are reserved.
//
// The saves and exports work from the library's current images. When those
// hold no block yet (a length field below 4: nothing was loaded, or they
// were cleared), they are first read from the controller, so that a file is
// never written from an empty image; a controller that cannot give them
// fails the call with -1.
#pragma once

namespace tmode {

// The binary files: 0 written, -1 not.
int save_hardware_file(int reserved1, int reserved2, const char* path);
int save_software_file(int reserved1, int reserved2, const char* path);

// The text files: the hardware export gives 1 written and 0 not, the
// software export (model and version) 1 written and -1 not.
int export_hardware_file(int reserved1, int reserved2, const char* path);
int export_software_file(int reserved1, int reserved2, const char* path);

// Clear the current images, load the file into the current image, verify
// its checksum and write it to the controller (commit included): 0 when the
// whole block (2048 or 512 bytes) was written, else -1. A file that does not
// load, a block whose checksum does not match or whose length field is
// below 4 writes nothing. The text imports start from the Tuner's initial
// block, so that the fields a text file does not name (the block's length
// and versions) are those of a well-formed block.
int write_hardware_bin_file(int reserved1, int reserved2, const char* path);
int write_hardware_text_file(int reserved1, int reserved2, const char* path);
int write_software_bin_file(int reserved1, int reserved2, const char* path);
int write_software_text_file(int reserved1, int reserved2, const char* path);

}  // namespace tmode
