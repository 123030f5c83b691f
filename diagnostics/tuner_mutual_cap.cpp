#include "diagnostics/tuner_mutual_cap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/chip_labels.h"
#include "diagnostics/diagnostics_state.h"
#include "diagnostics/node_tolerance.h"
#include "diagnostics/open_short_tests.h"
#include "link/output_sink.h"
#include "maintenance/byte_order.h"
#include "maintenance/parameter_blocks.h"
#include "tuning/tuner_trace.h"
#include "tuning/working_tables.h"

namespace tmode {

namespace {

constexpr int kPhaseBytes = 7;  // the image delays of the first frequency

void clear_frame_ready() {
  diagnostics_state().tuner_frame.ready[0].store(false);
  diagnostics_state().tuner_frame.ready[1].store(false);
}

// Shift counts taken from parameter bytes stay within an int's width.
int clamp_shift(int k) { return k < 0 ? 0 : k > 31 ? 31 : k; }

int scale_raw(int raw, int s, bool multiply, int shift) {
  const int v = multiply ? s * raw / 10 : raw * 10 / s;
  return v >> shift;
}

const uint8_t* configuration_image(const Tuner& tuner) { return tuner.hardware_block + hw::kSensorConfiguration; }

// Header row of a grid of `columns` Tx columns, labelled with the driving
// chips; the channel space-padded ("%2d") or zero-padded ("%02d").
void driving_labels(Tuner& tuner, int columns, bool space_padded) {
  ChipLabelWalk walk(tuner_driving_chips(tuner));
  for (int t = 0; t < columns; ++t, walk.advance()) {
    if (space_padded) {
      trace(tuner, ",Chip-%d[%2d]", walk.chip(), walk.channel());
    } else {
      trace(tuner, ",Chip-%d[%02d]", walk.chip(), walk.channel());
    }
  }
}

}  // namespace

int tuner_mutual_cap_test(Tuner& tuner) {
  trace(tuner, "\nStart Mutual Cap Test\n");
  tuner.mutual_cap_threshold = tuner.mutual_cap_values[0];
  clear_frame_ready();
  const int threshold = tuner.mutual_cap_threshold;
  if (threshold > kMutualCapWarningThreshold) {
    out_puts("Warning! Please check Mutual Cap test threshold");
    trace(tuner, "Warning! Please check Mutual Cap test threshold");
  }
  const uint8_t* image = configuration_image(tuner);
  GridTolerances tolerances;
  tolerances.last_rx = tuner.mutual_cap_values[1];
  tolerances.corner = tuner.mutual_cap_values[2];
  tolerances.extended = image[kExtendedCornerSetting] != 0;
  trace(tuner, "\nMutual Cap Test threshold ,%d,LastRxTolerance,%d,CornerTolerance,%d", threshold, tolerances.last_rx,
        tolerances.corner);
  if (image[kExtendedCornerSetting] == 1) trace(tuner, ",ExtendCornerTolerance:,%d", tolerances.corner / 2);
  trace(tuner, "\n");
  trace(tuner, "\nOrigin Point Location :,%s\n", origin_name(tuner.software_block[sw::kSwapBits]));

  uint16_t word = tuner.mutual_scaling;
  if ((word & 0x7FFF) == 0) word = read_le16(image + cfg::kMutualScaling);
  int s = word & 0x7FFF;
  const bool multiply = (word & 0x8000) != 0;
  if (s == 0) {
    s = read_le16(image + cfg::kOpenScaling) & 0x7FFF;
    out_write("\nGet Mutual Scaling Fail Use Open Scaling");
    trace(tuner, "\nGet Mutual Scaling Fail Use Open Scaling");
  }
  if (s == 0) {
    out_write("\nGet Scaling Fail");
    trace(tuner, "\nGet Scaling Fail");
    return 0;
  }
  trace(tuner, "\nMutual Cap Test scaling , %d\n", s);
  const uint8_t* frequency = tuner.frequency_blocks[0].bytes;
  int shift = 3;
  if (frequency[18] != 0) shift += frequency[18] + 1;
  shift = clamp_shift(shift - frequency[freq::kImageScaling] + 2);

  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return 0;
  int times = tuner.mutual_cap_argument;
  if (times < 2) times = tuner.params.mutual_cap_test_get_times != 0 ? tuner.params.mutual_cap_test_get_times : 1;
  static int32_t sums[kTableLines][kTableColumns];
  std::memset(sums, 0, sizeof sums);
  for (int n = 0; n < times; ++n) {
    if (read_tuner_frame(tuner, 0, kRawL2Word) == 0) {
      clear_frame_ready();
      return 0;
    }
    for (int t = 0; t < tx_total; ++t) {
      for (int r = 0; r < rx_total; ++r) sums[t][r] += scale_raw(tuner.raw_table[t][r], s, multiply, shift);
    }
    clear_frame_ready();
  }
  if (times > 1) {
    for (int t = 0; t < tx_total; ++t) {
      for (int r = 0; r < rx_total; ++r) sums[t][r] /= times;
    }
  }

  const int columns = tx_total - 1, rows = rx_total - 1;
  driving_labels(tuner, columns, false);
  bool pass = true;
  ChipLabelWalk sensing(tuner_sensing_chips(tuner));
  for (int r = 0; r < rows; ++r, sensing.advance()) {
    trace(tuner, "\nRx[%02d]", r);
    for (int t = 0; t < columns; ++t) {
      const int d = sums[t + 1][r] - sums[t][r];
      const bool fail = std::abs(d) > threshold + node_tolerance(r, t, rx_total, tx_total, tolerances);
      if (fail) {
        trace(tuner, ",*%d", d);
      } else {
        trace(tuner, ",%d", d);
      }
      if (fail) pass = false;
    }
    trace(tuner, ",Chip-%d[%02d]", sensing.chip(), sensing.channel());
  }
  trace(tuner, "\n");
  for (int t = 0; t < columns; ++t) trace(tuner, ",Tx[%02d]", t);
  trace(tuner, "%s", pass ? "\nMutual Cap Test Pass\n" : "\nMutual Cap Test Fail\n");
  trace(tuner, "Finish Mutual Cap Test\n");
  return pass ? 1 : 0;
}

namespace {

// The Tuner's hardware block and the copy the controller holds: the block
// is resealed and written (without commit) only when it differs.
class PhaseBlock {
 public:
  explicit PhaseBlock(Tuner& tuner) : tuner_(tuner) {
    for (int i = 0; i < kPhaseBytes; ++i) saved_[i] = phases()[6 * i];
    held_ = read_parameter_block(kHardwareBlock, 0, kHardwareBlockSize, controller_) == kHardwareBlockSize;
  }
  ~PhaseBlock() {
    if (changed_) set(saved_);
  }
  PhaseBlock(const PhaseBlock&) = delete;
  PhaseBlock& operator=(const PhaseBlock&) = delete;

  void set_all(uint8_t delay) {
    uint8_t delays[kPhaseBytes];
    std::memset(delays, delay, sizeof delays);
    changed_ = true;
    set(delays);
  }

 private:
  uint8_t* phases() { return tuner_.hardware_block + hw::frequency_block(0) + freq::image_group(0) + freq::kDelay; }

  void set(const uint8_t* delays) {
    for (int i = 0; i < kPhaseBytes; ++i) phases()[6 * i] = delays[i];
    reseal_hardware_block(tuner_);
    if (held_ && std::memcmp(controller_, tuner_.hardware_block, kHardwareBlockSize) == 0) return;
    held_ = write_parameter_block(kHardwareBlock, 0, kHardwareBlockSize, tuner_.hardware_block, 0) == kHardwareBlockSize;
    if (held_) std::memcpy(controller_, tuner_.hardware_block, kHardwareBlockSize);
  }

  Tuner& tuner_;
  uint8_t saved_[kPhaseBytes] = {};
  uint8_t controller_[kHardwareBlockSize] = {};
  bool held_ = false;
  bool changed_ = false;
};

}  // namespace

int tuner_mutual_cap_phase_test(Tuner& tuner) {
  out_puts("Start Mutual Cap Test");
  tuner.mutual_cap_threshold = tuner.mutual_cap_values[0];
  const int threshold = tuner.mutual_cap_threshold;
  const uint8_t* frequency = tuner.hardware_block + hw::frequency_block(0);
  int phase = (frequency[freq::kPrescaler] & 0x7F) * (frequency[freq::kDivider] & 7) / 2;
  if (phase > 127) phase = 127;  // delays are 7 bits
  const int times = tuner.mutual_cap_argument > 0 ? tuner.mutual_cap_argument : 0;
  int tx_total = 0, rx_total = 0;
  bool pass = tuner_totals(tuner, &tx_total, &rx_total);
  static int32_t in_phase[kTableLines][kTableColumns];
  static int32_t quadrature[kTableLines][kTableColumns];
  std::memset(in_phase, 0, sizeof in_phase);
  std::memset(quadrature, 0, sizeof quadrature);
  {
    PhaseBlock block(tuner);
    auto accumulate = [&](int32_t (*sum)[kTableColumns]) {
      clear_frame_ready();
      const bool read = read_tuner_frame(tuner, 0, kRawWord) != 0;
      clear_frame_ready();
      if (!read) return false;
      for (int t = 0; t < tx_total; ++t) {
        for (int r = 0; r < rx_total; ++r) sum[t][r] += tuner.raw_table[t][r] >> 2;
      }
      return true;
    };
    for (int n = 0; n < times && pass; ++n) {
      block.set_all(0);
      pass = accumulate(in_phase);
      if (!pass) break;
      block.set_all(static_cast<uint8_t>(phase));
      pass = accumulate(quadrature);
    }
  }  // the delays are restored and written back
  if (pass && times > 0) {
    for (int t = 0; t < tx_total; ++t) {
      for (int r = 0; r < rx_total; ++r) {
        const int64_t i = in_phase[t][r] / times, q = quadrature[t][r] / times;
        in_phase[t][r] = static_cast<int32_t>(i * i + q * q);  // M, at most 2 x 8191^2
      }
    }
    for (int t = 0; t + 1 < tx_total && pass; ++t) {
      for (int r = 0; r + 1 < rx_total; ++r) {
        const int64_t e0 = int64_t{in_phase[t][r + 1]} - in_phase[t][r];
        const int64_t e1 = int64_t{in_phase[t + 1][r + 1]} - in_phase[t + 1][r];
        if (std::llabs(e1 - e0) > threshold) pass = false;
      }
    }
  }
  out_puts(pass ? "Mutual Cap Test pass" : "Mutual Cap Test fail");
  out_puts("Finish Mutual Cap Test");
  return pass ? 1 : 0;
}

int tuner_raw16_dump(Tuner& tuner) {
  trace(tuner, "\nRaw16 Data\n");
  int tx_total = 0, rx_total = 0;
  if (!tuner_totals(tuner, &tx_total, &rx_total)) return 0;
  if (read_tuner_frame(tuner, 0, kRawWord) == 0) return 0;
  driving_labels(tuner, tx_total, true);
  ChipLabelWalk sensing(tuner_sensing_chips(tuner));
  for (int r = 0; r < rx_total; ++r, sensing.advance()) {
    trace(tuner, "\nRx[%02d]", r);
    for (int t = 0; t < tx_total; ++t) trace(tuner, ",%d", tuner.raw_table[t][r]);
    trace(tuner, ",Chip-%d[%02d]", sensing.chip(), sensing.channel());
  }
  trace(tuner, "\n");
  for (int t = 0; t < tx_total; ++t) trace(tuner, ",Tx[%02d]", t);
  return 1;
}

}  // namespace tmode
