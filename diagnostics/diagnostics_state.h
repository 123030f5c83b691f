// The diagnostics subsystem's part of the library state.
#pragma once

#include <cstdio>

#include "diagnostics/capture_state.h"
#include "diagnostics/log_records.h"
#include "diagnostics/mutual_cap_state.h"
#include "diagnostics/noise_line_state.h"
#include "diagnostics/sensor_test_tables.h"
#include "diagnostics/uniformity_creation_state.h"

namespace tmode {

struct DiagnosticsState {
  // Log files: the path set and the one shared log stream, open only within
  // a writer. The frame layout and the tables the diagnostics share.
  LogPathSet log_paths;
  FILE* log_stream = nullptr;
  FrameLayout frame;
  ImageTable image_table = {};
  TestRawTable test_raw = {};
  TouchInfoBlock touch_info = {};  // written by the reader thread's '?','h' handlers
  // The noise line test's collection and verdict.
  NoiseLineState noise;
  // Image captures: the frame assembly, the buffers and the log counters.
  CaptureState capture;
  // The open and short tests' tables.
  TunerFrameCapture tuner_frame = {};
  ShortTestBytes short_bytes = {};
  SensorTestBlock sensor_test = {};
  // The mutual-capacitance tests and the sensor tests 1 to 4.
  MutualCapState mutual;
  // The uniformity-table creation's node buffers.
  UniformityCreation uniformity_creation;
};

DiagnosticsState& diagnostics_state();

}  // namespace tmode
