#include "maintenance/uniformity_format.h"

#include "maintenance/byte_order.h"

namespace tmode {

namespace {

constexpr int kPlainSlot = 301;
constexpr int kDirectoryEntriesStart = 86;
constexpr int kCompactPointBytes = 3;

int entry_bytes(UniformityFormat format) { return format.wide ? 4 : 3; }

int frequency_count(UniformityFormat format) {
  return format.compact ? kCompactFrequencies : kUniformityFrequencies;
}

// Where frequency f's entries begin and how many the directory claims.
bool directory_section(const uint8_t* table, int size, UniformityFormat format, int f,
                       UniformitySection* section) {
  if (format.compact) {
    if (size < kCompactGroupsStart) return false;
    section->offset = kCompactGroupsStart + read_le16(table + 18 + 4 * f);
    section->count = read_le16(table + 16 + 4 * f);
    return true;
  }
  if (!format.indexed && !format.wide) {
    if (5 + kPlainSlot * f >= size) return false;
    section->offset = 6 + kPlainSlot * f;
    section->count = table[5 + kPlainSlot * f];
    return true;
  }
  if (size < kDirectoryEntriesStart) return false;
  section->offset = kDirectoryEntriesStart + entry_bytes(format) * read_le16(table + 8 + 4 * f);
  section->count = read_le16(table + 6 + 4 * f) & 0xFFF;
  return true;
}

bool compact_points_fit(const uint8_t* table, int size, int f) {
  CompactPointReader reader;
  if (!reader.start(table, size, f)) return false;
  UniformityPoint point{};
  for (int e = 0; e < reader.count(); ++e) {
    if (!reader.next(&point)) return false;
  }
  return true;
}

bool section_fits(const uint8_t* table, int size, UniformityFormat format, int f,
                  const UniformitySection& section) {
  if (format.compact) return compact_points_fit(table, size, f);
  if (!format.indexed && !format.wide && section.count > kPlainSlotEntries) return false;
  const long end = static_cast<long>(section.offset) + static_cast<long>(entry_bytes(format)) * section.count;
  return section.count == 0 || end <= size;
}

}  // namespace

uint16_t uniformity_checksum_seed(UniformityFormat format) {
  if (format.compact) return 0xAA55;
  return format.gen_new ? 0x55AA : 0x55;
}

uint16_t uniformity_checksum(const uint8_t* table, int size, uint16_t seed) {
  if (size < 4) return 0;
  const int length = read_le16(table);
  if (length < 4 || length > size) return 0;
  uint32_t sum = seed;
  for (int i = 4; i < length; ++i) sum += table[i];
  return static_cast<uint16_t>(sum);
}

bool uniformity_table_valid(const uint8_t* table, int size, UniformityFormat format) {
  if (size < 4 || read_le16(table) != size) return false;
  return read_le16(table + 2) == uniformity_checksum(table, size, uniformity_checksum_seed(format));
}

bool locate_uniformity_section(const uint8_t* table, int size, UniformityFormat format, int f,
                               UniformitySection* section) {
  if (f < 0 || f >= frequency_count(format)) return false;
  UniformitySection found;
  if (!directory_section(table, size, format, f, &found)) return false;
  if (!section_fits(table, size, format, f, found)) return false;
  *section = found;
  return true;
}

bool uniformity_directory_fits(const uint8_t* table, int size, UniformityFormat format) {
  UniformitySection section;
  for (int f = 0; f < frequency_count(format); ++f) {
    if (!locate_uniformity_section(table, size, format, f, &section)) return false;
  }
  return true;
}

UniformityPoint uniformity_point(const uint8_t* table, UniformityFormat format,
                                 UniformitySection section, int e) {
  const uint8_t* entry = table + section.offset + entry_bytes(format) * e;
  const int offset = format.wide ? static_cast<int16_t>(read_le16(entry + 2)) : static_cast<int8_t>(entry[2]);
  return {entry[0], entry[1], offset};
}

bool CompactPointReader::start(const uint8_t* table, int size, int f) {
  table_ = table;
  size_ = size;
  tx_ = kNoGroup;
  left_ = 0;
  if (f < 0 || f >= kCompactFrequencies || size < kCompactGroupsStart) return false;
  count_ = read_le16(table + 16 + 4 * f);
  position_ = kCompactGroupsStart + read_le16(table + 18 + 4 * f);
  return count_ == 0 || position_ < size;
}

// A group header (TxCh, n) comes before a point whenever no group is
// current; n = 0 covers 256 points.
bool CompactPointReader::next(UniformityPoint* point) {
  if (tx_ == kNoGroup) {
    if (position_ + 2 > size_) return false;
    tx_ = table_[position_];
    left_ = table_[position_ + 1];
    position_ += 2;
  }
  if (position_ + kCompactPointBytes > size_) return false;
  point->tx = tx_;
  point->rx = table_[position_];
  point->offset = static_cast<int16_t>(read_le16(table_ + position_ + 1));
  position_ += kCompactPointBytes;
  left_ = static_cast<uint8_t>(left_ - 1);
  if (left_ == 0) tx_ = kNoGroup;
  return true;
}

int write_uniformity_dump(FILE* file, const uint8_t* table, int size, UniformityFormat format) {
  if (format.compact || size < 6 || !uniformity_directory_fits(table, size, format)) return -1;
  std::fputs("Table is Valid.\r\n", file);
  std::fprintf(file, "Uniformity Threshold=%d\r\n", table[4]);
  const bool commas = format.gen_new || format.wide;
  const char* header = format.gen_new ? ",\tIndex,\tTxCh,\tRxCh,\tOffset\r\n"
                       : format.wide  ? ",\tIndex,\tRxCh,\tTxCh,\tOffset\r\n"
                                      : "\tIndex\tRxCh\tTxCh\tOffset\r\n";
  for (int f = 0; f < kUniformityFrequencies; ++f) {
    UniformitySection section;
    locate_uniformity_section(table, size, format, f, &section);
    std::fprintf(file, "\r\nFreqIndex=%d,\tValidCount=%d\r\n", f, section.count);
    std::fputs(header, file);
    for (int e = 0; e < section.count; ++e) {
      const UniformityPoint p = uniformity_point(table, format, section, e);
      const int first = format.gen_new ? p.tx : p.rx;
      const int second = format.gen_new ? p.rx : p.tx;
      if (commas) {
        std::fprintf(file, ",\t[%02d],\t%d,\t%d,\t%d\r\n", e, first, second, p.offset);
      } else {
        std::fprintf(file, "\t[%02d]\t%d\t%d\t%d\r\n", e, first, second, p.offset);
      }
    }
  }
  return 0;
}

}  // namespace tmode
