// The compact uniformity table newer firmware stores: a 48-byte header with
// a directory of eight frequencies, then groups of points that share a TxCh.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace tmode {

inline constexpr uint16_t kCompactSeed = 0xAA55;

struct CompactTableInfo {
  uint32_t size = 0;
  uint8_t table_type = 0xFF;
  uint8_t table_version = 2;
  std::unique_ptr<uint8_t[]> data;  // size bytes once built
};

// A record with its initial values; its owner deletes it.
std::unique_ptr<CompactTableInfo> create_compact_info();
// Frees the data buffer.
void release_compact_info(CompactTableInfo* info);

// 0xAA55 plus the bytes 4 to size - 1, modulo 65536.
uint16_t compact_checksum(const uint8_t* table, int size);

// Builds info->data (info->size bytes, 48 to 65535) from a wide-format table
// of source_size bytes. 0; 1 when the points do not fit; -1 when refused: a
// size outside 48 to 65535, a directory pointing outside the source, or a
// TxCh of 255, which marks the absence of a group.
int build_compact_uniformity_table(CompactTableInfo* info, const uint8_t* source, int source_size,
                                   int threshold);

// The text of a compact table of table_size bytes, "\n" line ends. 0; -1
// with "Table is Invalid!!" written when a frequency's points run past the
// end of the table.
int dump_compact_uniformity_table(const CompactTableInfo* info, FILE* file, const uint8_t* table,
                                  int table_size);

}  // namespace tmode
