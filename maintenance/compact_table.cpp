#include "maintenance/compact_table.h"

#include <cstring>

#include "maintenance/byte_order.h"
#include "maintenance/uniformity_format.h"

namespace tmode {

namespace {

constexpr int kWideEntriesStart = 86;
constexpr int kMaxCompactSize = 65535;  // the size field is 16 bits

}  // namespace

std::unique_ptr<CompactTableInfo> create_compact_info() { return std::make_unique<CompactTableInfo>(); }

void release_compact_info(CompactTableInfo* info) {
  if (info != nullptr) info->data.reset();
}

uint16_t compact_checksum(const uint8_t* table, int size) {
  uint32_t sum = kCompactSeed;
  for (int i = 4; i < size; ++i) sum += table[i];
  return static_cast<uint16_t>(sum);
}

int build_compact_uniformity_table(CompactTableInfo* info, const uint8_t* source, int source_size,
                                   int threshold) {
  if (info == nullptr || info->size < kCompactGroupsStart || info->size > kMaxCompactSize) return -1;
  if (source_size < kWideEntriesStart) return -1;
  const int size = static_cast<int>(info->size);
  // Every frequency's entries lie inside the source and name a storable TxCh.
  for (int f = 0; f < kCompactFrequencies; ++f) {
    const int count = read_le16(source + 6 + 4 * f);
    const long first = kWideEntriesStart + 4L * read_le16(source + 8 + 4 * f);
    if (count != 0 && first + 4L * count > source_size) return -1;
    for (int e = 0; e < count; ++e) {
      if (source[first + 4 * e] == kNoGroup) return -1;
    }
  }

  info->data = std::make_unique<uint8_t[]>(info->size);
  uint8_t* out = info->data.get();
  std::memset(out, 0, info->size);
  write_le16(out, static_cast<uint16_t>(size));
  write_le16(out + 4, static_cast<uint16_t>(threshold));
  out[6] = info->table_version;
  out[7] = info->table_type;

  int position = kCompactGroupsStart;
  for (int f = 0; f < kCompactFrequencies; ++f) {
    const int count = read_le16(source + 6 + 4 * f);
    write_le16(out + 16 + 4 * f, static_cast<uint16_t>(count));
    if (count == 0) continue;
    write_le16(out + 18 + 4 * f, static_cast<uint16_t>(position - kCompactGroupsStart));
    const uint8_t* entry = source + kWideEntriesStart + 4 * read_le16(source + 8 + 4 * f);
    uint8_t current = kNoGroup;
    int group_count_at = 0;
    for (int e = 0; e < count; ++e, entry += 4) {
      if (position + 5 > size) return 1;
      // A full group (255 points) starts a new one: a count of 256 would
      // wrap to 0.
      if (current == kNoGroup || entry[0] != current || out[group_count_at] == 255) {
        current = entry[0];
        out[position] = current;
        group_count_at = position + 1;
        position += 2;
      }
      out[position] = entry[1];
      out[position + 1] = entry[2];
      out[position + 2] = entry[3];
      position += 3;
      ++out[group_count_at];
    }
  }
  write_le16(out + 2, compact_checksum(out, size));
  return 0;
}

int dump_compact_uniformity_table([[maybe_unused]] const CompactTableInfo* info, FILE* file,
                                  const uint8_t* table, int table_size) {
  if (table_size < kCompactGroupsStart) {
    std::fputs("Table is Invalid!!\n", file);
    return -1;
  }
  UniformityFormat compact;
  compact.compact = true;
  if (!uniformity_directory_fits(table, table_size, compact)) {
    std::fputs("Table is Invalid!!\n", file);
    return -1;
  }
  std::fputs("Table is Valid.\n", file);
  std::fprintf(file, "Uniformity Threshold=%d\n", read_le16(table + 4));
  std::fprintf(file, "Table Version=%d\n", table[6]);
  std::fprintf(file, "Table Type=%d\n", table[7]);
  for (int f = 0; f < kCompactFrequencies; ++f) {
    CompactPointReader reader;
    reader.start(table, table_size, f);
    std::fprintf(file, "\nFreqIndex=%d,ValidCount=%d\n", f, reader.count());
    std::fputs("Index,TxCh,RxCh,Offset\n", file);
    UniformityPoint p{};
    for (int e = 0; e < reader.count() && reader.next(&p); ++e) {
      std::fprintf(file, "[%02d],%d,%d,%d\n", e, p.tx, p.rx, p.offset);
    }
  }
  return 0;
}

}  // namespace tmode
