#include "tuning/calibration_targets.h"

#include <cstdio>
#include <cstdlib>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/open_short_tests.h"
#include "link/output_sink.h"
#include "maintenance/parameter_checksums.h"
#include "maintenance/test_commands.h"
#include "tuning/phase_peaks.h"
#include "tuning/tuning_result.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

constexpr uint16_t kTargetImageWord = 16512;  // 0x4080
constexpr int kGroupedTargets = 4;

// The grouping of step 4 at percentage p: the targets before the last two
// lines, or 0 when p needs raising.
int group_lines(const long* sums, int lines, int p, int* targets) {
  int count = 2;
  targets[0] = 0;
  targets[1] = 1;
  long reference = sums[1];
  long threshold = reference * p / 100;
  for (int j = 2; j <= lines - 2; ++j) {
    if (std::labs(sums[j] - reference) <= threshold) {
      if (j == lines - 2) return count;
      continue;
    }
    if (count == kGroupedTargets) return 0;
    targets[count++] = j;
    reference = sums[j];
    threshold = sums[j] * p / 100;
  }
  return 0;  // line lines - 2 started a target of its own
}

}  // namespace

int choose_calibration_targets(Tuner& tuner) {
  uint8_t gain = 0;
  if (command_3f_52(tuner.config.bytes[cfg::kImageTxGain], &gain) != 1) {
    out_puts(" Failed to set correct TX gain");
    return 0;
  }
  uint8_t* fb = tuner.hardware_block + hw::frequency_block(0);
  for (int i = 0; i < kImageChannels; ++i) {
    uint8_t* g = fb + freq::image_group(i);
    g[freq::kGainB] = 30;
    g[freq::kGainA] = 15;
    g[freq::kRs] = 0;
    g[freq::kGainD] = 3;
    fb[83 + i] = 30;
  }
  reseal_hardware_block(tuner);
  if (verify_hardware_block(tuner.hardware_block, kHardwareBlockSize)) store_hardware_block(tuner);

  const int lines = driving_line_count(tuner.config);
  const int columns = receive_line_count(tuner);
  if (lines < 4 || lines > kRawTableLines || columns <= 0) return 0;
  const int read = read_tuner_frame(tuner, 0, kTargetImageWord);
  // The next reader takes a fresh frame.
  diagnostics_state().tuner_frame.ready[0].store(false);
  diagnostics_state().tuner_frame.ready[1].store(false);
  if (!read) return 0;
  long sums[kRawTableLines] = {};
  for (int j = 0; j < lines; ++j) {
    for (int r = 0; r < columns; ++r) sums[j] += tuner.raw_table[j][r];
  }

  int targets[kImageChannels] = {};
  int count = 0;
  for (int p = 1; p <= kMaxTargetPercentage && count == 0; ++p) {
    out_printf("Percentage %d ", p);
    count = group_lines(sums, lines, p, targets);
  }
  if (count == 0) return 0;
  targets[count++] = lines - 2;
  targets[count++] = lines - 1;
  while (count < kImageChannels) {
    int widest = 0;
    for (int k = 1; k + 1 < count; ++k) {
      if (targets[k + 1] - targets[k] > targets[widest + 1] - targets[widest]) widest = k;
    }
    const int middle = (targets[widest] + targets[widest + 1]) / 2;
    for (int k = count; k > widest + 1; --k) targets[k] = targets[k - 1];
    targets[widest + 1] = middle;
    ++count;
  }
  for (int i = 0; i < kImageChannels; ++i) {
    tuner.config.bytes[cfg::cal_target(i)] = static_cast<uint8_t>(targets[i]);
    out_printf("calibration target %d = %d\n", i, targets[i]);
  }
  return 1;
}

}  // namespace tmode
