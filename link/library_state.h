// The library's single process-wide state, reached directly by every
// operation. Zero (descriptors -1) at program start and never freed.
#pragma once

#include <cstdio>

#include "diagnostics/log_records.h"
#include "diagnostics/sensor_test_tables.h"
#include "link/link_session.h"
#include "maintenance/parameter_images.h"
#include "tuning/ini_state.h"
#include "maintenance/firmware_file.h"
#include "maintenance/firmware_package.h"
#include "maintenance/stamp_record.h"

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

  // The INI reader's one open file and line buffer.
  IniReaderState ini;

  // Log files: the path set and the one shared log stream, open only within
  // a writer. The frame layout and the tables the diagnostics share.
  LogPathSet log_paths;
  FILE* log_stream = nullptr;
  FrameLayout frame;
  ImageTable image_table = {};
  TestRawTable test_raw = {};
  TouchInfoBlock touch_info = {};
  // The open and short tests' tables (rx_total and tx_total of a Tuner's
  // layout are kept in tuner_frame).
  TunerFrameCapture tuner_frame = {};
  ShortTestBytes short_bytes = {};
  SensorTestBlock sensor_test = {};
  // The firmware file and package last loaded (cleared when a load is
  // refused), and the stamp record prepared for the controller.
  RecordFile firmware_file{};
  FirmwarePackage firmware_package{};
  StampRecord stamp_record{};
};

extern LibraryState library;

}  // namespace tmode
