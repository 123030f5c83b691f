// The protocol layer's part of the library state: the texts last read from
// the controller and the channel ranges.
#pragma once

#include <cstdint>

#include "protocol/channel_ranges.h"

namespace tmode {

inline constexpr int kTextFieldSize = 32;

struct ProtocolState {
  // Last texts read from the controller; a 32-character text has no
  // terminating zero inside its field.
  char cached_type_name[kTextFieldSize] = {};
  char cached_model_name[kTextFieldSize] = {};
  char cached_firmware_version[kTextFieldSize] = {};

  // The receive and transmit totals the sensor-size query reads, and the
  // per-chip ranges derived from hardware image 1.
  ChannelRanges ranges = {};

  // The first four payload bytes of the last '?','X' reply a front-end
  // operation read (byte 0 is the controller level).
  uint8_t controller_level_bytes[4] = {};
};

ProtocolState& protocol_state();

}  // namespace tmode
