// Firmware packages from untrusted bytes. Whatever the loader accepts must
// fit its areas, and every record of a valid block must be fit to send.
#include <cstddef>
#include <cstdint>

#include "fuzz/firmware_input.h"
#include "library/library_state.h"
#include "maintenance/firmware_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tmode;
  const int result = load_firmware_package(fuzz::input_path(data, size));
  const FirmwarePackage& p = library.firmware_package;
  if (result != 0) {
    if (p.version != 0 || p.main_count != 0 || p.block_count != 0) __builtin_trap();  // nothing kept
    return 0;
  }
  if (p.main_count > kPackageRecordCapacity || p.block_count > kPackageBlockCapacity) __builtin_trap();
  if (p.version == 2 && p.block_count == 0) __builtin_trap();
  for (int i = 0; i < p.main_count; ++i) {
    if (p.main_records[i].length > kRecordDataSize) __builtin_trap();
  }
  for (int k = 0; k < p.block_count; ++k) {
    const PackageBlock& block = p.blocks[k];
    if (block.count > kBlockRecordCapacity) __builtin_trap();
    for (int i = 0; block.valid && i < block.count; ++i) {
      if (block.records[i].length > kRecordDataSize) __builtin_trap();
    }
  }
  return 0;
}
