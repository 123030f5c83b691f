// What the simulated controller's firmware keeps between commands.
#pragma once

#include <cstdint>
#include <string>

#include "sim/family_state.h"
#include "sim/register_state.h"
#include "sim/parameter_store.h"
#include "sim/firmware_state.h"
#include "sim/sensor_panel.h"
#include "sim/touch_info_stream.h"

namespace tmode::sim {

// The 'J' frame stream that '?','H' selects with a data word.
struct StreamState {
  uint16_t word = 0;
  bool active = false;
  int frames = 0;          // frames sent since the word was selected
  int selections = 0;      // frame streams started, so that noise differs from one to the next
  int interval_ms = 5;     // between the starts of two frames
  int frame_limit = -1;    // 0 or more: the stream falls silent after this many frames
  int report_limit = -1;   // 0 or more: the stream falls silent after this many reports
  int reports = 0;         // reports sent since the word was selected
};

struct ControllerState {
  // Answers to 'F', 'E' and 'D'. Texts longer than the library takes (32)
  // are sent whole, as firmware may.
  std::string type_name = "Plovex PCT";
  std::string model_name = "PLVX-6300";
  std::string firmware_version = "6300.1.02";

  // Touch modes ('?','e'): modes 0 .. mode_count-1 are accepted.
  uint8_t touch_mode = 0;
  int mode_count = 4;
  int switch_prepares = 0;  // prepare commands seen ('?','e',2,1)
  bool require_prepare = false;  // refuse a switch that was not prepared
  bool switch_prepared = false;

  FamilyState family;        // plain controller commands, word stores, restarts
  RegisterState registers;   // register and test commands
  // Parameter blocks ('?','J', '?','I', '?','K') and the selected area ('?','H').
  ParameterStore parameters = ParameterStore::factory_default();
  // Firmware update: ':',0x01, ':',0x05, ':',0x0C, '6','U', '9',0x03.
  FirmwareMemory firmware;
  // The sensor behind the sensing chips, and the frames it streams.
  SensorPanel panel;
  StreamState stream;
  // '?','h' touch information while '?','i' 1 is in force.
  TouchInfoStream touch_stream;
};

}  // namespace tmode::sim
