#include "diagnostics/uniformity_table.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "diagnostics/diagnostics_state.h"
#include "diagnostics/log_records.h"
#include "link/file_handle.h"
#include "link/output_sink.h"
#include "maintenance/byte_order.h"
#include "maintenance/compact_table.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/model_identification.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/test_commands.h"
#include "maintenance/uniformity_format.h"
#include "protocol/controller_commands.h"
#include "protocol/direct_commands.h"
#include "protocol/protocol_state.h"

namespace tmode {

namespace {

constexpr uint16_t kUniformityArea = 0x8000;
constexpr int kQueryBufferSize = 64;

// Controller levels with the compact table, per model group.
bool compact_level_24_28(uint32_t kv, const uint8_t* info) { return (kv == 47 && info[15] > 8) || kv >= 48; }
bool compact_level_even(uint32_t kv, const uint8_t* info) { return (kv == 6 && info[15] > 31) || kv >= 7; }

bool reads_middle_size(int code, const uint8_t* info) {
  if (info[21] == 0) return false;
  if (code == 62) return true;
  return code >= 72 && code <= 92 && code % 2 == 0;
}

void mark_compact(UniformityTableState& u, uint8_t type_byte) {
  if (!u.compact_info) u.compact_info = create_compact_info();
  u.compact_info->table_type = type_byte & 0x7F;
  u.compact_info->size = kUniformitySizeLarge;
  u.format.compact = true;
}

// The raw scaling percentage the even-code firmware announces.
void set_raw_scaling(uint32_t kv, const uint8_t* info, uint32_t status) {
  int32_t& scaling = diagnostics_state().frame.raw_scaling;
  if (((kv == 7 && info[15] != 0) || kv >= 8) && (info[22] & 1) != 0) {
    scaling = info[24] + 256 * info[25];
  } else if (kv == 6 && info[15] > 26 && (info[22] & 1) != 0) {
    scaling = read_le16(maintenance_state().images.current_hardware + 396);
  }
  if ((status & (1u << 27)) != 0 || scaling < 70 || scaling > 130) scaling = 100;
}

}  // namespace

// Steps 2 and 3: size, flags and the compact mark for the connected model at
// controller level kv.
void choose_uniformity_format(uint32_t kv) {
  UniformityTableState& u = maintenance_state().uniformity;
  const int code = maintenance_state().model_code;
  UniformityFormat& f = u.format;
  uint8_t info[kQueryBufferSize] = {};

  if (code >= 10 && code <= 13) {
    u.size = kUniformitySizeLarge;
    f.indexed = kv >= 13;
    f.gen_new = kv > 46;
  } else if (code == 24 || code == 28 || code == 22 || code == 26) {
    const bool group_24_28 = code == 24 || code == 28;
    u.size = kUniformitySizeLarge;
    f.indexed = true;
    if (kv > 0) f.wide = true;
    f.gen_new = kv > (group_24_28 ? 9u : 8u);
    if (group_24_28) {
      query_features(0, 0, info);
      if (compact_level_24_28(kv, info) && (info[20] & 0x80) != 0) mark_compact(u, info[20]);
      return;
    }
  } else if (code == 18) {
    u.size = kUniformitySizeSmall;
    f.indexed = true;
  } else if (is_even_code_family(code)) {
    u.size = kUniformitySizeLarge;
    f.indexed = f.wide = f.gen_new = true;
    uint8_t status_bytes[4] = {};
    query_features(0, 0, info);
    read_status_code(status_bytes);
    if (compact_level_even(kv, info) && (info[23] & 0x80) != 0) mark_compact(u, info[23]);
    set_raw_scaling(kv, info, read_le32(status_bytes));
    if (reads_middle_size(code, info)) u.size = kUniformitySizeMiddle;
    return;
  }
  f.compact = false;
}

namespace {

// Steps 1 to 3: the controller level, then size, flags and compact mark.
void decide_format(UniformityTableState& u) {
  uint8_t level[kQueryBufferSize] = {};
  read_controller_level(0, 0, level);
  u.kernel_version = level[0];
  choose_uniformity_format(u.kernel_version);
}

// A buffer of exactly the table's size: a size change reallocates it, and
// the located section of the old buffer is forgotten.
void prepare_buffer(UniformityTableState& u) {
  if (!u.buffer || u.buffer_size != u.size) {
    u.buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(u.size));
    u.buffer_size = u.size;
    u.section = {};
  }
  std::memset(u.buffer.get(), 0, static_cast<size_t>(u.size));
}

int read_table(UniformityTableState& u) {
  select_parameter_area(0, 0, kUniformityArea);
  return read_parameter_block(kUniformityBlock, 0, u.buffer_size, u.buffer.get());
}

}  // namespace

int load_uniformity_table(int, int) {
  UniformityTableState& u = maintenance_state().uniformity;
  decide_format(u);
  if (u.size <= 0) return -1;
  prepare_buffer(u);

  uint8_t ignored = 0;
  read_freq_index(&ignored);
  if (read_table(u) < u.buffer_size) return -1;
  const uint8_t* table = u.buffer.get();
  if (uniformity_table_valid(table, u.buffer_size, u.format)) {
    locate_uniformity_section(table, u.buffer_size, u.format, u.freq_index, &u.section);
  }
  return 0;
}

int dump_uniformity_table(int, int) {
  UniformityTableState& u = maintenance_state().uniformity;
  if (!u.buffer) return -1;
  const int read = read_table(u);
  FileHandle file(std::fopen(diagnostics_state().log_paths.slots[kUTableLog], "w"));
  if (!file) {
    out_puts("(E) Open File Fail!!!");
    return -1;
  }
  if (read < u.buffer_size) {
    std::fprintf(file.get(), "Read Uniformity Table Error(size=%d).\r\n", read);
    out_printf("(E) Read Uniformity Table Error(size=%d).\r\n", read);
    return -1;
  }
  const uint8_t* table = u.buffer.get();
  if (u.compact_info && u.format.compact) {
    if (dump_compact_uniformity_table(u.compact_info.get(), file.get(), table, u.buffer_size) != 0) return -1;
  } else if (!uniformity_table_valid(table, u.buffer_size, u.format) ||
             write_uniformity_dump(file.get(), table, u.buffer_size, u.format) != 0) {
    std::fputs("Table is Invalid!!\r\n", file.get());
    out_puts("(E) Dump Error, Table is Invalid!!\r");
    return -1;
  }
  u.buffer.reset();
  u.buffer_size = 0;
  u.section = {};
  if (u.compact_info) release_compact_info(u.compact_info.get());
  u.compact_info.reset();
  return 1;
}

}  // namespace tmode
