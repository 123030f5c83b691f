// Parameter text files: any bytes as the file, through both imports, then
// the hardware export of what was imported.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_file.h"
#include "library/library_state.h"
#include "paramfile/bin_file.h"
#include "paramfile/text_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tmode::fuzz::quiet_stdout();
  const char* path = tmode::fuzz::input_file(data, size);
  static tmode::TunerPtr tuner = tmode::create_tuner();
  tuner->short_layout = size > 0 && data[0] == 'S';
  tmode::clear_parameter_images();
  const int hardware = tmode::import_hardware_text(*tuner, path);
  const int software = tmode::import_software_text(*tuner, path);
  if (software != 1 || (hardware != 0 && hardware != 1)) __builtin_trap();
  if (hardware == 1 && tmode::export_hardware_text(*tuner, "/dev/null") != 1) __builtin_trap();
  return 0;
}
