// The library's single process-wide state, reached directly by every
// operation. Zero (descriptors -1) at program start and never freed.
#pragma once

#include <cstdio>

#include "diagnostics/log_records.h"
#include "diagnostics/noise_line_state.h"
#include "diagnostics/capture_state.h"
#include "link/link_session.h"
#include "maintenance/parameter_images.h"
#include "tuning/ini_state.h"
#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/stamp_record.h"
#include "maintenance/uniformity_state.h"

namespace tmode {

inline constexpr int kTextFieldSize = 32;

struct LibraryState {
  LinkSession link;

  // Last texts read from the controller; a 32-character text has no
  // terminating zero inside its field.
  char cached_type_name[kTextFieldSize] = {};
  char cached_model_name[kTextFieldSize] = {};
  char cached_firmware_version[kTextFieldSize] = {};

  // The controller model code that identify_model derived from the names;
  // -1 when no pattern matched, 0 before the first identification.
  int32_t model_code = 0;

  // Parameter block images and the channel ranges derived from them.
  ParameterImages images = {};
  ChannelRanges ranges = {};

  // The uniformity table: size, format, the buffer as read and the located
  // section (caller's thread only).
  UniformityTableState uniformity;

  // The INI reader's one open file and line buffer.
  IniReaderState ini;

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
  // The firmware file and package last loaded (cleared when a load is
  // refused), and the stamp record prepared for the controller.
  RecordFile firmware_file{};
  FirmwarePackage firmware_package{};
  StampRecord stamp_record{};
};

extern LibraryState library;

}  // namespace tmode
