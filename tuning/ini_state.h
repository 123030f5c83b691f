// The INI reader's process-wide state: one file at a time.
#pragma once

#include <cstdio>

namespace tmode {

inline constexpr int kIniLineSize = 256;  // 255 bytes of a line and a zero

struct IniReaderState {
  FILE* file = nullptr;         // the one open INI stream; every lookup works on it
  char line[kIniLineSize] = {};  // reused for every line read
};

}  // namespace tmode
