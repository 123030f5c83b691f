// The phase-data handler of the all-delays scan: 'J' reports into the frame
// of D delay lines, set up as read_phase_data does. Input: D, the RX
// columns (two bytes, little-endian), then reports (fuzz/report_sequence.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/report_sequence.h"
#include "tuning/phase_peaks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int delays = data[0], columns = data[1] | data[2] << 8;
  if (!tmode::begin_phase_data(delays, columns)) return 0;
  tmode::fuzz::for_each_report(data + 3, size - 3, [](int length, const uint8_t* report) {
    tmode::phase_data_handler('J', length, report);
  });
  return 0;
}
