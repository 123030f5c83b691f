// Reading, writing and committing the controller's parameter blocks in
// chunks of at most 54 bytes ('?','J', '?','I', '?','K'), and selecting the
// parameter area ('?','H').
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr int kParameterChunk = 54;

// The number of bytes read (less than count when a chunk failed 10 times).
int read_parameter_block(int type, int offset, int count, uint8_t* destination);

// The number of bytes written (less than count when a chunk failed 5 times,
// and then nothing is committed). With `commit` non-zero and every byte
// written, the block is committed afterwards; the commit's result does not
// change the count.
int write_parameter_block(int type, int offset, int count, const uint8_t* source, int commit);

// 0; -1 for a bad acknowledgement; or the exchange's failure (-1 or 110).
int commit_parameter_block(int type, int argument);

// '?','H' with a 16-bit value: 0 when the reply echoes both bytes, else -1.
int select_parameter_area(int reserved1, int reserved2, uint16_t value);

}  // namespace tmode
