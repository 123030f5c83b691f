// Reading, validating, locating and dumping the controller's uniformity
// table (parameter block type 2).
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kUniformitySizeSmall = 1024;
inline constexpr int kUniformitySizeMiddle = 3072;
inline constexpr int kUniformitySizeLarge = 6144;

// Decides the table's size, flags and compact mark (and, for the even-code
// family, the raw scaling) for the connected model at controller level kv,
// querying the features and status code where the model needs them. A model
// without a uniformity table leaves the size as it was.
void choose_uniformity_format(uint32_t kv);

// Decides the table's size and format from the model code and the
// controller's level and features, (re)allocates the buffer for that size,
// reads and validates the table and locates the section of the state's
// frequency index. 0 when the whole table was read (valid or not), -1 for a
// model without a uniformity table or a short read.
int load_uniformity_table(int reserved1, int reserved2);

// Reads the table again and writes it as text into the UTable log. 1, with
// the buffer and the compact record freed; -1 (the file names why) for no
// buffer (load first), a file that cannot be opened, a short read or an
// invalid table.
int dump_uniformity_table(int reserved1, int reserved2);

}  // namespace tmode
