#include "sim/uniformity_block.h"

#include <cstddef>

namespace tmode::sim {

namespace {

void put16(std::vector<uint8_t>& b, size_t at, unsigned value) {
  b.at(at) = static_cast<uint8_t>(value & 0xFF);
  b.at(at + 1) = static_cast<uint8_t>((value >> 8) & 0xFF);
}

const std::vector<UniformityEntry>& points_of(const UniformityBlockDescription& desc, size_t f) {
  static const std::vector<UniformityEntry> none;
  return f < desc.frequencies.size() ? desc.frequencies[f] : none;
}

void fill_plain(std::vector<uint8_t>& b, const UniformityBlockDescription& desc) {
  for (size_t f = 0; f < 20; ++f) {
    const auto& points = points_of(desc, f);
    b.at(5 + 301 * f) = static_cast<uint8_t>(points.size());
    for (size_t e = 0; e < points.size(); ++e) {
      const size_t at = 6 + 301 * f + 3 * e;
      b.at(at) = points[e].tx;
      b.at(at + 1) = points[e].rx;
      b.at(at + 2) = static_cast<uint8_t>(points[e].offset & 0xFF);
    }
  }
  if (desc.impossible_directory) b.at(5 + 301 * 19) = 101;
}

// The indexed and wide layouts: a directory of counts and first indexes,
// entries from byte 86.
void fill_directory(std::vector<uint8_t>& b, const UniformityBlockDescription& desc, size_t width) {
  size_t next = 0;
  for (size_t f = 0; f < 20; ++f) {
    const auto& points = points_of(desc, f);
    put16(b, 6 + 4 * f, (static_cast<unsigned>(points.size()) | desc.count_flags));
    put16(b, 8 + 4 * f, static_cast<unsigned>(next));
    for (const UniformityEntry& p : points) {
      const size_t at = 86 + width * next++;
      b.at(at) = p.tx;
      b.at(at + 1) = p.rx;
      if (width == 4) {
        put16(b, at + 2, static_cast<uint16_t>(p.offset));
      } else {
        b.at(at + 2) = static_cast<uint8_t>(p.offset & 0xFF);
      }
    }
  }
  if (desc.impossible_directory) {
    put16(b, 6 + 4 * 19, 2);
    put16(b, 8 + 4 * 19, static_cast<unsigned>((b.size() - 86) / width));
  }
}

void fill_compact(std::vector<uint8_t>& b, const UniformityBlockDescription& desc) {
  put16(b, 4, desc.threshold);
  b.at(6) = desc.compact_version;
  b.at(7) = desc.compact_type;
  size_t at = 48;
  for (size_t f = 0; f < 8; ++f) {
    const auto& points = points_of(desc, f);
    put16(b, 16 + 4 * f, static_cast<unsigned>(points.size()));
    if (points.empty()) continue;
    put16(b, 18 + 4 * f, static_cast<unsigned>(at - 48));
    size_t count_at = 0;
    int current = -1;
    for (const UniformityEntry& p : points) {
      if (p.tx != current) {
        current = p.tx;
        b.at(at) = p.tx;
        count_at = at + 1;
        at += 2;
      }
      b.at(at) = p.rx;
      put16(b, at + 1, static_cast<uint16_t>(p.offset));
      at += 3;
      ++b.at(count_at);
    }
  }
  if (desc.impossible_directory) {
    put16(b, 16 + 4 * 7, 3);
    put16(b, 18 + 4 * 7, static_cast<unsigned>(b.size() - 48 - 4));
  }
}

}  // namespace

std::vector<uint8_t> build_uniformity_block(const UniformityBlockDescription& desc) {
  std::vector<uint8_t> b(static_cast<size_t>(desc.size), 0);
  put16(b, 0, static_cast<unsigned>(desc.size));
  uint32_t seed = desc.seed;
  switch (desc.layout) {
    case UniformityLayout::kPlain:
      b.at(4) = desc.threshold;
      fill_plain(b, desc);
      break;
    case UniformityLayout::kIndexed:
      b.at(4) = desc.threshold;
      fill_directory(b, desc, 3);
      break;
    case UniformityLayout::kWide:
      b.at(4) = desc.threshold;
      fill_directory(b, desc, 4);
      break;
    case UniformityLayout::kCompact:
      fill_compact(b, desc);
      seed = 0xAA55;
      break;
  }
  uint32_t sum = seed;
  for (size_t i = 4; i < b.size(); ++i) sum += b[i];
  if (desc.bad_checksum) ++sum;
  put16(b, 2, sum & 0xFFFF);
  return b;
}

}  // namespace tmode::sim
