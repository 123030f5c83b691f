// The INI reader and the tuning parameter file: any bytes as the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_file.h"
#include "library/library_state.h"
#include "tuning/ini_reader.h"
#include "tuning/tuning_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tmode::fuzz::quiet_stdout();
  const char* path = tmode::fuzz::input_file(data, size);

  tmode::TunerPtr tuner = tmode::load_tuning_file(path);
  if (!tuner) __builtin_trap();

  if (tmode::ini_open(path, false) == nullptr) __builtin_trap();
  char small[5];
  std::memset(small, 0x5A, sizeof small);
  tmode::ini_get_string("AFE Config", "CalIndex", small, 4, "default text");
  if (small[4] != 0x5A || std::strlen(small) > 3) __builtin_trap();
  uint32_t value = 0;
  tmode::ini_get_uint("Sensor Test", "OpenTestFunc", &value, 0);

  // Room for less than the text may grow to: the copy stops at the end.
  std::rewind(tmode::library.ini.file);
  std::vector<uint8_t> buffer(size / 2 + 1, 0);
  const long written = tmode::read_text_file_crlf(buffer.data(), buffer.size());
  if (written < 0 || static_cast<size_t>(written) > buffer.size()) __builtin_trap();
  tmode::ini_close();
  return 0;
}
