// The diagnostics subsystem's part of the library state.
#pragma once

#include <cstdio>

#include "diagnostics/log_records.h"

namespace tmode {

struct DiagnosticsState {
  // Log files: the path set and the one shared log stream, open only within
  // a writer. The frame layout and the tables the diagnostics share.
  LogPathSet log_paths;
  FILE* log_stream = nullptr;
  FrameLayout frame;
  ImageTable image_table = {};
  TestRawTable test_raw = {};
  TouchInfoBlock touch_info = {};
};

DiagnosticsState& diagnostics_state();

}  // namespace tmode
