// What the library keeps of the controller's uniformity table between
// operations. Written and read on the caller's thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "maintenance/compact_table.h"
#include "maintenance/uniformity_format.h"

namespace tmode {

struct UniformityTableState {
  int32_t size = 0;  // 1024, 3072 or 6144; 0 until a known model was loaded
  std::unique_ptr<uint8_t[]> buffer;  // `buffer_size` bytes, the table as read
  int32_t buffer_size = 0;
  UniformityFormat format;  // flags A, B, C and the compact mark
  std::unique_ptr<CompactTableInfo> compact_info;
  uint32_t kernel_version = 0;  // the controller level
  int32_t freq_index = 0;       // the frequency the loader locates
  UniformitySection section;    // where its points begin, and how many
};

}  // namespace tmode
