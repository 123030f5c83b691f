#include "diagnostics/phase_sweep.h"

#include <cstdio>
#include <cstring>

#include "diagnostics/open_short_tests.h"
#include "diagnostics/tuner_mutual_cap.h"
#include "link/output_sink.h"
#include "maintenance/parameter_blocks.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

// The controller's copy of the hardware block, as far as the sweep knows it.
struct ControllerCopy {
  uint8_t block[kHardwareBlockSize];
  bool known;
};

uint8_t* delay_of(Tuner& tuner, int channel) {
  return tuner.hardware_block + hw::frequency_block(0) + freq::image_group(channel) + freq::kDelay;
}

// Reseals the Tuner's block and writes it with commit when it differs from
// the controller's.
void write_when_changed(Tuner& tuner, ControllerCopy& controller) {
  reseal_hardware_block(tuner);
  if (controller.known && std::memcmp(controller.block, tuner.hardware_block, kHardwareBlockSize) == 0) return;
  if (store_hardware_block(tuner) == 1) {
    std::memcpy(controller.block, tuner.hardware_block, kHardwareBlockSize);
    controller.known = true;
  } else {
    controller.known = false;
  }
}

}  // namespace

int phase_sweep_steps(const uint8_t* record) {
  const int steps = (record[freq::kDivider] & 7) * (record[freq::kPrescaler] & 0x7F);
  return steps > kMaxPhaseSteps ? kMaxPhaseSteps : steps;
}

int phase_sweep(Tuner& tuner) {
  const int steps = phase_sweep_steps(tuner.hardware_block + hw::frequency_block(0));
  if (steps == 0) return 0;
  uint8_t original[kImageChannels];
  for (int i = 0; i < kImageChannels; ++i) original[i] = *delay_of(tuner, i);
  static ControllerCopy controller;
  controller.known =
      read_parameter_block(1, 0, kHardwareBlockSize, controller.block) == kHardwareBlockSize;

  int result = 0;
  clear_tuner_frame_flags();
  for (int p = 0; p < steps; ++p) {
    out_printf("Log Phase0 = %d\n", p);
    for (int i = 0; i < kImageChannels; ++i) *delay_of(tuner, i) = static_cast<uint8_t>(p);
    write_when_changed(tuner, controller);
    result = read_tuner_frame(tuner, 0, kRawWord) == 1 ? tuner_raw16_dump(tuner) : 0;
    clear_tuner_frame_flags();
  }
  for (int i = 0; i < kImageChannels; ++i) *delay_of(tuner, i) = original[i];
  write_when_changed(tuner, controller);
  return result;
}

}  // namespace tmode
