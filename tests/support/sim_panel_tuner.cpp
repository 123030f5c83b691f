#include "tests/support/sim_panel_tuner.h"

#include "maintenance/byte_order.h"

namespace tmode::test {

void describe_sim_panel(uint8_t* c, int tx_lines) {
  c[cfg::kSensingChips] = 2;
  c[cfg::kDrivingChips] = 1;
  c[cfg::tx_start(0)] = 0;
  c[cfg::tx_end(0)] = static_cast<uint8_t>(tx_lines - 1);
  c[cfg::rx_start(0)] = 0;
  c[cfg::rx_end(0)] = 13;
  c[cfg::rx_start(1)] = 0;  // also CalTarget0: TX 0
  c[cfg::rx_end(1)] = 13;   // also CalTarget1: TX 13
  const uint8_t targets[] = {3, 5, 8, 10, 15};
  for (int i = 0; i < 5; ++i) c[cfg::cal_target(2 + i)] = targets[i];
  write_le16(c + cfg::kRefRsIndex, 3000);
  write_le16(c + cfg::r_ratio(0), 3000);
  write_le16(c + cfg::r_ratio(1), 3000);
}

TunerPtr create_sim_panel_tuner(int tx_lines) {
  TunerPtr tuner = create_tuner();
  describe_sim_panel(tuner->config.bytes, tx_lines);
  describe_sim_panel(tuner->hardware_block + hw::kSensorConfiguration, tx_lines);
  return tuner;
}

void tune_for_sim_panel(TuningParameters& p) {
  p.tune_flags = kImageTune;
  p.image_signal_low = 35;
  p.image_signal_high = 50;
  p.signal_tolerance = 2;
  p.nums_of_freq = 2;
  p.ignore_nums_of_rx = 2;
  p.minimum_measure_time = 7;
  p.maximum_measure_time = 64;
  p.output_high = 100;
  p.output_low = 100;
  p.image_touch_signal = 30;
  p.scaling_start = 3;
  p.max_signal_high = 70;
}

TunerTrace::TunerTrace(Tuner& tuner) : tuner_(tuner) { tuner_.log_stream = std::tmpfile(); }

std::string TunerTrace::text() {
  std::string out;
  FILE* file = tuner_.log_stream;
  if (file == nullptr) return out;
  std::fflush(file);
  std::rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  std::fclose(file);
  tuner_.log_stream = std::tmpfile();  // the tuner owns and closes it
  return out;
}

}  // namespace tmode::test
