// Firmware record files from untrusted bytes. Whatever the loader accepts
// must fit its areas and be fit to send.
#include <cstddef>
#include <cstdint>

#include "fuzz/firmware_input.h"
#include "library/library_state.h"
#include "maintenance/firmware_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tmode;
  const int result = load_firmware_file(fuzz::input_path(data, size));
  RecordFile& f = library.firmware_file;
  if (result != 0) {
    if (f.main_read != 0 || f.header.main_count != 0) __builtin_trap();  // nothing kept
    return 0;
  }
  if (f.main_read != f.header.main_count || f.main_read > kMainRecordCapacity) __builtin_trap();
  if (f.main_read == 0 && (f.list_held[0] | f.list_held[1] | f.list_held[2] | f.list_held[3]) != 0) {
    __builtin_trap();
  }
  for (int i = 0; i < f.main_read; ++i) {
    if (f.main_records[i].length > kRecordDataSize) __builtin_trap();
  }
  for (int k = 0; k < kRecordListCount; ++k) {
    if (f.list_held[k] != f.header.list_count[k] || f.list_held[k] > kRecordListCapacity[k]) __builtin_trap();
    for (int i = 0; i < f.list_held[k]; ++i) {
      if (!record_is_sendable(record_list(f, k)[i])) __builtin_trap();
    }
  }
  return 0;
}
