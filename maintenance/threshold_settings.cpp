#include "maintenance/threshold_settings.h"

#include <cstdio>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_images.h"
#include "maintenance/threshold_rescale.h"
#include "protocol/touch_mode.h"

namespace tmode {

namespace {

constexpr int kRecordCountA = 64;
constexpr int kRecordCountB = 132;
constexpr uint16_t kSoftwareArea = 0x8001;

int get_info(ThresholdLayout layout, const uint8_t* image, int count_offset, ThresholdInfo* info) {
  uint8_t mode = 0;
  if (get_touch_mode(0, 0, &mode) != 1) {
    out_puts("Get Threshold Mode Fail");
    return -1;
  }
  const int level_at = threshold_level_offset(layout, mode);
  if (level_at < 0) return -1;
  info->record_count = image[count_offset];
  info->mode = mode;
  info->level = static_cast<int8_t>(image[level_at]);
  out_printf("Nums Of Thresholds = %d\n", info->record_count);
  out_puts("Current:");
  out_printf("\tThreshold mode= %d\n", info->mode);
  out_printf("\tSensitivityLevel = %d\n", info->level);
  return 0;
}

// Whether the record could be rescaled, tried on a copy so that a refusal
// comes before anything is sent.
bool rescale_possible(const uint8_t* image, ThresholdLayout layout, int mode, int level) {
  uint8_t trial[kSoftwareBlockSize];
  std::memcpy(trial, image, sizeof trial);
  return rescale_threshold_record(trial, layout, mode, level) == 0;
}

int set_sensitivity(ThresholdLayout layout, uint8_t* image, const ThresholdInfo* info) {
  const int mode = info->mode;
  const int level = info->level;
  if (!rescale_possible(image, layout, mode, level)) return -1;
  // The block is written whatever the controller says to the mode switch.
  if (layout != ThresholdLayout::kC) set_touch_mode(0, 0, mode);
  rescale_threshold_record(image, layout, mode, level);
  select_parameter_area(0, 0, kSoftwareArea);
  seal_software_block(image);
  if (write_parameter_block(kSoftwareBlock, 0, kSoftwareBlockSize, image, 1) == kSoftwareBlockSize) {
    out_puts("Set sensitivity parameter success !!");
    return 0;
  }
  out_puts("Set sensitivity parameter fail !!");
  return -1;
}

}  // namespace

int get_threshold_info(ThresholdInfo* info) {
  return get_info(ThresholdLayout::kA, maintenance_state().images.first_software, kRecordCountA, info);
}

int get_threshold_info_b(ThresholdInfo* info) {
  return get_info(ThresholdLayout::kB, maintenance_state().images.current_software, kRecordCountB, info);
}

int get_single_threshold_info(ThresholdInfo* info) {
  info->record_count = 1;
  info->mode = 0;
  info->level = static_cast<int8_t>(maintenance_state().images.first_software[threshold_level_offset(ThresholdLayout::kC, 0)]);
  out_puts("Nums Of Thresholds = 1");
  out_puts("Current Setting:");
  out_printf("\tThreshold mode = %d\n", 0);
  out_printf("\tSensitivityLevel = %d\n", info->level);
  return 0;
}

int set_threshold_sensitivity(const ThresholdInfo* info) {
  return set_sensitivity(ThresholdLayout::kA, maintenance_state().images.first_software, info);
}

int set_threshold_sensitivity_b(const ThresholdInfo* info) {
  return set_sensitivity(ThresholdLayout::kB, maintenance_state().images.current_software, info);
}

int set_single_threshold_sensitivity(const ThresholdInfo* info) {
  return set_sensitivity(ThresholdLayout::kC, maintenance_state().images.first_software, info);
}

}  // namespace tmode
