// The 5-byte result of several small queries.
#pragma once

#include <cstdint>

namespace tmode {

// Bytes 0 and 1 carry two reply bytes (each query names them); bytes 2 to 4
// are 0.
struct ValueRecord5 {
  uint8_t bytes[5];
};

}  // namespace tmode
