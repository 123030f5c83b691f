// Binary parameter files: any bytes as the file, through both loaders.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_file.h"
#include "paramfile/bin_file.h"
#include "paramfile/hardware_block_pack.h"
#include "library/library_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tmode::fuzz::quiet_stdout();
  const char* path = tmode::fuzz::input_file(data, size);
  static tmode::TunerPtr tuner = tmode::create_tuner();
  tmode::clear_parameter_images();
  const int hardware = tmode::load_hardware_bin_file(*tuner, path);
  const int software = tmode::load_software_bin_file(*tuner, path);
  if ((hardware != 0 && hardware != 1) || (software != 0 && software != 1)) __builtin_trap();
  if (hardware == 1 && software == 1) __builtin_trap();  // one block type per file
  // A loaded block goes on to the working tables as a controller's would.
  if (hardware == 1) {
    tmode::unpack_hardware_block(*tuner, tuner->config, tmode::library.images.current_hardware);
    tmode::pack_hardware_block(*tuner, tmode::library.images.current_hardware);
  }
  return 0;
}
