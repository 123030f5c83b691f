// The uniformity table as the controller delivered it: validated, located,
// dumped as text in its format, and converted to the compact format. Input:
// a format byte (bit 0 flag A, bit 1 indexed, bit 2 wide, bit 3 compact), a
// frequency byte, a compact size byte (x 8), then the table.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "maintenance/compact_table.h"
#include "maintenance/uniformity_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 8192) return 0;
  static FILE* sink = std::fopen("/dev/null", "w");
  tmode::UniformityFormat format;
  format.gen_new = (data[0] & 1) != 0;
  format.indexed = (data[0] & 2) != 0;
  format.wide = (data[0] & 4) != 0;
  format.compact = (data[0] & 8) != 0;
  const uint8_t* table = data + 3;
  const int table_size = static_cast<int>(size - 3);

  tmode::uniformity_table_valid(table, table_size, format);
  tmode::UniformitySection section;
  if (tmode::locate_uniformity_section(table, table_size, format, data[1], &section)) {
    if (section.offset < 0 || section.count < 0) __builtin_trap();
    if (!format.compact && section.count > 0) {
      const int width = format.wide ? 4 : 3;
      if (section.offset + width * section.count > table_size) __builtin_trap();
      for (int e = 0; e < section.count; ++e) tmode::uniformity_point(table, format, section, e);
    }
  }
  tmode::write_uniformity_dump(sink, table, table_size, format);
  tmode::dump_compact_uniformity_table(nullptr, sink, table, table_size);

  auto info = tmode::create_compact_info();
  info->size = static_cast<uint32_t>(data[2]) * 8;
  if (tmode::build_compact_uniformity_table(info.get(), table, table_size, data[1]) == 0) {
    if (tmode::dump_compact_uniformity_table(info.get(), sink, info->data.get(), static_cast<int>(info->size)) != 0) {
      __builtin_trap();  // a table the build completed reads back whole
    }
  }
  return 0;
}
