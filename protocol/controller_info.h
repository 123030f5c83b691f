// The controller's three identifying texts.
#pragma once

namespace tmode {

// Each writes exactly 32 bytes to out (the text and zero padding; a
// 32-character text has no terminator inside them), updates the cached copy
// in the library state and returns the number of characters (0 to 32); -1 on
// failure, with neither the cache nor out written.
int get_type_name(int reserved1, int reserved2, char* out);         // 'F'
int get_model_name(int reserved1, int reserved2, char* out);        // 'E'
int get_firmware_version(int reserved1, int reserved2, char* out);  // 'D'

// 'D' by the direct pattern: the first reply within the wait is taken
// whatever its class byte. 32 bytes to out (the cache is left alone); the
// byte count, or the last attempt's failure (-1 or 110).
int get_firmware_version_direct(int reserved1, int reserved2, char* out);

}  // namespace tmode
