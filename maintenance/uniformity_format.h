// The uniformity table's layouts as stored in the controller's uniformity
// block: the plain, indexed and wide formats, and the compact format newer
// firmware keeps. Every count and index the table holds is checked against
// the table's size before it is used.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tmode {

inline constexpr int kUniformityFrequencies = 20;
inline constexpr int kCompactFrequencies = 8;
inline constexpr int kPlainSlotEntries = 100;  // a 301-byte slot: count, then 100 entries
inline constexpr int kCompactGroupsStart = 48;
inline constexpr uint8_t kNoGroup = 255;  // no current group while groups are read or written

struct UniformityFormat {
  bool gen_new = false;  // flag A: seed 0x55AA, Tx-first columns in the dumps
  bool indexed = false;  // flag B: sections found through a directory
  bool wide = false;     // flag C: 4-byte entries with a 16-bit offset
  bool compact = false;  // the compact format
};

// 0xAA55 for a compact table, else 0x55AA with flag A, else 0x55.
uint16_t uniformity_checksum_seed(UniformityFormat format);

// The seed plus bytes 4 to length - 1, modulo 65536, for a length within
// the size; 0 otherwise.
uint16_t uniformity_checksum(const uint8_t* table, int size, uint16_t seed);

// The length field equals the size and the stored checksum holds.
bool uniformity_table_valid(const uint8_t* table, int size, UniformityFormat format);

// One correction point.
struct UniformityPoint {
  int tx;
  int rx;
  int offset;
};

// The points of one frequency: where they begin in the table and how many
// there are.
struct UniformitySection {
  int offset = 0;
  int count = 0;
};

// Locates frequency f's points. False, with nothing stored, when f is not a
// frequency of the format (0 to 19, or 0 to 7 compact) or its points do not
// lie inside the table (a plain slot holds at most 100).
bool locate_uniformity_section(const uint8_t* table, int size, UniformityFormat format, int f,
                               UniformitySection* section);

// True when every frequency's points lie inside the table.
bool uniformity_directory_fits(const uint8_t* table, int size, UniformityFormat format);

// Point e of a located plain, indexed or wide section.
UniformityPoint uniformity_point(const uint8_t* table, UniformityFormat format,
                                 UniformitySection section, int e);

// Reads a compact table's points of one frequency group by group.
class CompactPointReader {
 public:
  // False when the frequency's start lies outside the table.
  bool start(const uint8_t* table, int size, int f);
  // The next point; false when the table ends before it.
  bool next(UniformityPoint* point);
  int count() const { return count_; }

 private:
  const uint8_t* table_ = nullptr;
  int size_ = 0;
  int position_ = 0;
  int count_ = 0;
  uint8_t tx_ = kNoGroup;
  uint8_t left_ = 0;
};

// The text of a valid plain, indexed or wide table, "\r\n" line ends, from
// "Table is Valid." on. -1 with nothing written when the directory does not
// fit the table.
int write_uniformity_dump(FILE* file, const uint8_t* table, int size, UniformityFormat format);

}  // namespace tmode
