#include "tester/tuner_preparation.h"

#include <cstring>

#include "maintenance/parameter_blocks.h"
#include "protocol/controller_commands.h"
#include "protocol/protocol_state.h"
#include "link/report_types.h"

namespace tmode {

namespace {

constexpr int kParameterAreaWord = 0x8000;

}  // namespace

void prepare_tuner(Tuner& tuner) {
  select_parameter_area(0, 0, kParameterAreaWord);
  uint8_t payload[kReportSize] = {};
  // The result is the number of payload bytes, or a failure (-1, or 110
  // for a timeout, beyond any payload's length).
  const int count = read_controller_level(0, 0, payload);
  if (count <= 0 || count > kReportSize - 4) return;
  std::memcpy(protocol_state().controller_level_bytes, payload,
              sizeof protocol_state().controller_level_bytes);
  tuner.controller_level = payload[0];
}

}  // namespace tmode
