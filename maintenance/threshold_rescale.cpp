#include "maintenance/threshold_rescale.h"

#include <initializer_list>

#include "maintenance/parameter_checksums.h"
#include "maintenance/parameter_images.h"

namespace tmode {

namespace {

struct Field {
  int offset;  // from the record start (layout C: from the block start); -1: none
  int width;   // 1 or 2 bytes
};

struct LayoutFields {
  int first_record;  // block offset of record 0
  int record_size;   // 0: one record at fixed offsets
  Field p, q, r;     // base values
  Field from_q, from_r, c, b, a, d_low, d_high, level;
  int reference;     // block offset of the u16 that enters D; -1: D from C alone
  Field mode0_marker, mode0_from_q;  // block-wide, written when mode 0 is set (P != 0)
};

constexpr LayoutFields kLayoutA{256, 70, {2, 2}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {16, 2},
                                {20, 1}, {21, 1}, {22, 1}, {23, 1}, {25, 1}, 272, {46, 2}, {105, 1}};
constexpr LayoutFields kLayoutB{256, 64, {50, 2}, {52, 2}, {54, 2}, {6, 2}, {8, 2}, {10, 2},
                                {2, 2}, {4, 2}, {36, 1}, {37, 1}, {58, 1}, 266, {64, 2}, {70, 2}};
constexpr LayoutFields kLayoutC{0, 0, {50, 2}, {56, 2}, {58, 2}, {52, 2}, {72, 1}, {22, 2},
                                {67, 1}, {69, 1}, {80, 1}, {81, 1}, {124, 1}, -1, {-1, 0}, {-1, 0}};

// The highest record byte any field of a layout reaches.
constexpr int last_field_byte(const LayoutFields& l) {
  int last = 0;
  for (const Field& f : {l.p, l.q, l.r, l.from_q, l.from_r, l.c, l.b, l.a, l.d_low, l.d_high, l.level}) {
    if (f.offset + f.width - 1 > last) last = f.offset + f.width - 1;
  }
  return last;
}

const LayoutFields& fields_of(ThresholdLayout layout) {
  switch (layout) {
    case ThresholdLayout::kA: return kLayoutA;
    case ThresholdLayout::kB: return kLayoutB;
    default: return kLayoutC;
  }
}

// Block offset of the mode's record, or -1 when one of its fields would lie
// beyond the block.
int record_start(const LayoutFields& l, int mode) {
  if (l.record_size == 0) return 0;
  if (mode < 0) return -1;
  const int64_t start = l.first_record + int64_t{l.record_size} * mode;
  return start + last_field_byte(l) < kSoftwareBlockSize ? static_cast<int>(start) : -1;
}

int get(const uint8_t* record, Field f) {
  return f.width == 1 ? record[f.offset] : read_le16(record + f.offset);
}

// Keeps the low 8 or 16 bits, as the field is wide.
void put(uint8_t* record, Field f, int64_t value) {
  if (f.width == 1) {
    record[f.offset] = static_cast<uint8_t>(value & 0xFF);
  } else {
    write_le16(record + f.offset, static_cast<uint16_t>(value & 0xFFFF));
  }
}

// A floating product as an unsigned integer: negative products (a level
// above 10) give 0 rather than an undefined conversion.
uint32_t truncate(double product) {
  if (!(product > 0)) return 0;
  if (product >= 4294967295.0) return 4294967295U;
  return static_cast<uint32_t>(product);
}

void store_d(uint8_t* block, uint8_t* record, const LayoutFields& l, int64_t c) {
  const int64_t basis = l.reference >= 0 ? read_le16(block + l.reference) : c;
  const int64_t d = ((basis >> 1) + c) >> 1;
  put(record, l.d_low, d);
  put(record, l.d_high, d);
}

}  // namespace

int threshold_level_offset(ThresholdLayout layout, int mode) {
  const LayoutFields& l = fields_of(layout);
  const int start = record_start(l, mode);
  return start < 0 ? -1 : start + l.level.offset;
}

int rescale_threshold_record(uint8_t* block, ThresholdLayout layout, int mode, int level) {
  const LayoutFields& l = fields_of(layout);
  const int start = record_start(l, mode);
  if (start < 0) return -1;
  uint8_t* record = block + start;

  const int64_t f = int64_t{10} - level;
  const int64_t p = get(record, l.p);
  const int64_t q = get(record, l.q);
  const int64_t r = get(record, l.r);
  int64_t c;
  if (p != 0) {
    const auto t = static_cast<int16_t>((f * p) / 10);
    const int64_t a = static_cast<int64_t>(truncate(t * 0.65) & 0xFF);
    const int64_t b = static_cast<int64_t>(truncate(static_cast<double>(a) * 1.3) & 0xFF);
    c = static_cast<int64_t>(truncate(static_cast<double>(p) * 0.7) & 0xFFFF);
    put(record, l.a, a);
    put(record, l.b, b);
    put(record, l.c, c);
    if (mode == 0 && l.mode0_marker.offset >= 0) {
      put(block, l.mode0_marker, 1000);
      put(block, l.mode0_from_q, static_cast<int64_t>(truncate(static_cast<double>(q) * 1.5) & 0xFF));
    }
  } else {
    // Rescaled in place from the old level, which divides.
    const int64_t old_level = static_cast<int8_t>(record[l.level.offset]);
    if (old_level == 10) return -1;
    auto rescaled = [&](Field field) { return f * (((get(record, field) * 10) / (10 - old_level)) & 0xFFFF) / 10; };
    const int64_t a = rescaled(l.a) & 0xFF;
    const int64_t b = rescaled(l.b) & 0xFF;
    c = rescaled(l.c) & 0xFFFF;
    put(record, l.a, a);
    put(record, l.b, b);
    put(record, l.c, c);
  }
  store_d(block, record, l, c);
  put(record, l.from_q, (f * q) / 10);
  put(record, l.from_r, (f * r) / 10);
  put(record, l.level, level);
  return 0;
}

void seal_software_block(uint8_t* block) {
  // The same rule that verifies the block computes its checksum.
  write_le16(block + 2, software_block_checksum(block));
}

}  // namespace tmode
