// The frame transforms, case by case on small frames.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "diagnostics/frame_transforms.h"
#include "sim/uniformity_block.h"

namespace tmode {
namespace {

// A frame of lines, each of the same number of values.
struct Frame {
  explicit Frame(std::vector<std::vector<int16_t>> lines) {
    buffer.rx_count = static_cast<int32_t>(lines.at(0).size());
    buffer.line_count = static_cast<int32_t>(lines.size());
    for (const auto& line : lines) values.insert(values.end(), line.begin(), line.end());
    buffer.values = values.data();
  }
  FrameExtent extent() const { return {buffer.rx_count, buffer.line_count}; }
  std::vector<int16_t> values;
  ImageFrameBuffer buffer;
};

using Table = std::unique_ptr<ImageTable>;
Table empty_table() {
  Table t = std::make_unique<ImageTable>();
  std::memset(t.get(), 0, sizeof *t);
  return t;
}

// Table lines 0 .. count-1, first `rx` columns.
std::vector<std::vector<int16_t>> lines_of(const ImageTable& t, int count, int rx) {
  std::vector<std::vector<int16_t>> out;
  for (int l = 0; l < count; ++l) out.emplace_back(t.values[l], t.values[l] + rx);
  return out;
}

bool all_zero(const ImageTable& t) {
  for (const auto& line : t.values) {
    for (int16_t v : line) {
      if (v != 0) return false;
    }
  }
  return true;
}

TEST(FrameLayout, ByModelAndWaterLine) {
  EXPECT_EQ(frame_layout_kind(18, true), FrameLayoutKind::kA);
  EXPECT_EQ(frame_layout_kind(24, false), FrameLayoutKind::kA);
  EXPECT_EQ(frame_layout_kind(28, true), FrameLayoutKind::kB);
  EXPECT_EQ(frame_layout_kind(22, false), FrameLayoutKind::kB);
  EXPECT_EQ(frame_layout_kind(26, false), FrameLayoutKind::kB);
  EXPECT_EQ(frame_layout_kind(10, true), FrameLayoutKind::kNone);
}

TEST(TouchSignalTransform, DecodesColumns) {
  struct Case {
    const char* name;
    FrameLayoutKind layout;
    std::vector<std::vector<int16_t>> frame;
    std::vector<std::vector<int16_t>> table;  // lines 0 .. size-1
  };
  const std::vector<Case> cases = {
      // R 5: -V0, V0/2 - V1, (V1 - V2)/2, V2 - V3/2, V3 (shifts round down).
      {"R 5, layout B", FrameLayoutKind::kB,
       {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, {10, -7, 4, 9, -3}},
       {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, {-10, 12, -6, 0, 9}}},
      {"R 5, layout A", FrameLayoutKind::kA,
       {{1, 2, 3, 4, 5}, {10, -7, 4, 9, -3}},
       {{1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}, {-10, 12, -6, 0, 9}}},
      {"R 4", FrameLayoutKind::kB,
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {-9, 4, 7, 1}},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {9, -9, 1, 7}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Frame frame(c.frame);
    Table t = empty_table();
    ASSERT_EQ(touch_signal_transform(frame.buffer, frame.extent(), c.layout, t.get()), 0);
    EXPECT_EQ(lines_of(*t, static_cast<int>(c.table.size()), frame.buffer.rx_count), c.table);
  }
}

TEST(TouchSignalTransform, TooFewColumnsOrAnotherModelLeaveTheTableEmpty) {
  for (int r : {3, 1}) {
    Frame frame(std::vector<std::vector<int16_t>>(3, std::vector<int16_t>(static_cast<size_t>(r), 5)));
    Table t = empty_table();
    EXPECT_EQ(touch_signal_transform(frame.buffer, frame.extent(), FrameLayoutKind::kB, t.get()), -1) << r;
    EXPECT_TRUE(all_zero(*t));
  }
  Frame frame({{1, 2, 3, 4}, {1, 2, 3, 4}});
  Table t = empty_table();
  EXPECT_EQ(touch_signal_transform(frame.buffer, frame.extent(), FrameLayoutKind::kNone, t.get()), -1);
  // A frame smaller than the extent asked for.
  EXPECT_EQ(touch_signal_transform(frame.buffer, {4, 3}, FrameLayoutKind::kB, t.get()), -1);
  EXPECT_EQ(touch_signal_transform(frame.buffer, {5, 2}, FrameLayoutKind::kB, t.get()), -1);
  EXPECT_TRUE(all_zero(*t));
}

TEST(TouchSignalTransform, LayoutAOnAFullFrameStaysInsideTheTable) {
  std::vector<std::vector<int16_t>> lines(kTableLines, std::vector<int16_t>(kTableColumns, 3));
  Frame frame(lines);
  Table t = empty_table();
  ASSERT_EQ(touch_signal_transform(frame.buffer, frame.extent(), FrameLayoutKind::kA, t.get()), 0);
  EXPECT_EQ(t->values[kTableLines - 1][0], -3) << "frame line 130 at table line 131; line 131 has no place";
}

TEST(UniformityTransform, LineDifferences) {
  const std::vector<std::vector<int16_t>> frame_lines = {{1, 2}, {10, 20}, {13, 19}, {20, 10}, {0, 0}};
  Frame frame(frame_lines);
  Table a = empty_table();
  ASSERT_EQ(uniformity_transform(frame.buffer, frame.extent(), FrameLayoutKind::kA, a.get()), 0);
  EXPECT_EQ(lines_of(*a, 5, 2),
            (std::vector<std::vector<int16_t>>{{1, 2}, {0, 0}, {3, -1}, {7, -9}, {0, 0}}));
  Table b = empty_table();
  ASSERT_EQ(uniformity_transform(frame.buffer, frame.extent(), FrameLayoutKind::kB, b.get()), 0);
  EXPECT_EQ(lines_of(*b, 5, 2),
            (std::vector<std::vector<int16_t>>{{1, 2}, {10, 20}, {7, -9}, {-20, -10}, {0, 0}}));
  Table none = empty_table();
  EXPECT_EQ(uniformity_transform(frame.buffer, frame.extent(), FrameLayoutKind::kNone, none.get()), -1);
  EXPECT_TRUE(all_zero(*none));
}

TEST(ThreeLineTransform, MeanRunningSumAndGap) {
  // Values 1, -2, 3, 5 with K = 3: s = 2, n = 3, m = (2 + 1 + 1) / 3 = 1.
  // Line {1, -2}: W = {0, 0}, gap = (-2 - 0) as a byte = 254: {254, 0}.
  // Line {3, 5}: W = {-2, 0}, gap = 7: {5, 0}.
  struct Case {
    int model;
    std::vector<std::vector<int16_t>> frame;
    std::vector<std::vector<int16_t>> table;
  };
  const std::vector<Case> cases = {
      {22, {{4, 4}, {6, 6}, {1, -2}, {3, 5}}, {{4, 4}, {6, 6}, {254, 0}, {5, 0}}},
      {26, {{4, 4}, {6, 6}, {1, -2}, {3, 5}}, {{4, 4}, {6, 6}, {254, 0}, {5, 0}}},
      // Code 18: the first line is the only one copied; results go where the
      // table print expects the Tx lines.
      {18, {{4, 4}, {1, -2}, {3, 5}}, {{4, 4}, {0, 0}, {254, 0}, {5, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    Frame frame(c.frame);
    Table t = empty_table();
    ASSERT_EQ(three_line_transform(frame.buffer, frame.extent(), 3, c.model, t.get()), 0);
    EXPECT_EQ(lines_of(*t, 4, 2), c.table);
  }
}

TEST(ThreeLineTransform, NoValueWithinTheLimitGivesMeanZero) {
  Frame frame({{0, 0, 0}, {0, 0, 0}, {9, 9, 9}});
  Table t = empty_table();
  ASSERT_EQ(three_line_transform(frame.buffer, frame.extent(), 3, 22, t.get()), 0);
  // W = {-18, -9, 0}, gap = 9 - (-18) = 27: W + (2 - c) x 27 / 2.
  EXPECT_EQ(lines_of(*t, 3, 3)[2], (std::vector<int16_t>{9, 4, 0}));
}

TEST(ThreeLineTransform, OneColumnOrAnotherModelLeaveTheTableEmpty) {
  Frame one_column({{1}, {2}, {3}});
  Table t = empty_table();
  EXPECT_EQ(three_line_transform(one_column.buffer, one_column.extent(), 3, 22, t.get()), -1);
  Frame frame({{1, 2}, {2, 3}, {3, 4}});
  EXPECT_EQ(three_line_transform(frame.buffer, frame.extent(), 3, 24, t.get()), -1);
  EXPECT_TRUE(all_zero(*t));
}

TEST(UniformityTestTransform, ScalesThenDifferences) {
  // Frame lines 1 and 2 scaled to table lines 2 and 3 (no water line), then
  // T(2) = T(3) - T(2), the last line and column zero.
  const std::vector<std::vector<int16_t>> lines = {{7, 7, 7}, {128, 640, 99}, {640, 128, 99}, {5, 5, 5}};
  struct Case {
    const char* name;
    uint16_t mutual, open;
    bool multiply_before;
    std::vector<int16_t> line2;
    bool multiply_after;
  };
  const std::vector<Case> cases = {
      // divide, G 20: (V x 10 / 20) >> 6: {1, 5} and {5, 1}
      {"divide", 20, 0, false, {4, -4, 0}, false},
      // multiply, G 20: (20 x V / 10) >> 6: {4, 20} and {20, 4}
      {"multiply by the open word", 0, 0x8000 | 20, false, {16, -16, 0}, true},
      {"multiply stays on", 20, 0, true, {16, -16, 0}, true},
      {"mutual word wins", 20, 0x8000 | 20, false, {4, -4, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Frame frame(lines);
    Table t = empty_table();
    bool multiply = c.multiply_before;
    ASSERT_EQ(uniformity_test_transform(frame.buffer, frame.extent(), false, c.mutual, c.open, &multiply, t.get()), 0);
    EXPECT_EQ(multiply, c.multiply_after);
    EXPECT_EQ(lines_of(*t, 4, 3), (std::vector<std::vector<int16_t>>{{0, 0, 0}, {0, 0, 0}, c.line2, {0, 0, 0}}));
  }
}

TEST(UniformityTestTransform, WaterLineAndNoGain) {
  // With the water line frame lines 2 and 3 stay on their lines.
  Frame frame({{7, 7, 7}, {9, 9, 9}, {128, 640, 99}, {640, 128, 99}});
  Table t = empty_table();
  bool multiply = false;
  ASSERT_EQ(uniformity_test_transform(frame.buffer, frame.extent(), true, 20, 0, &multiply, t.get()), 0);
  EXPECT_EQ(lines_of(*t, 4, 3)[2], (std::vector<int16_t>{4, -4, 0}));
  Table none = empty_table();
  EXPECT_EQ(uniformity_test_transform(frame.buffer, frame.extent(), true, 0x8000, 0, &multiply, none.get()), -1);
  EXPECT_TRUE(all_zero(*none));
}

std::vector<uint8_t> offsets_table(sim::UniformityLayout layout, std::vector<sim::UniformityEntry> points,
                                   uint8_t compact_type = 0) {
  sim::UniformityBlockDescription desc;
  desc.layout = layout;
  desc.size = 6144;
  desc.frequencies = {{}, std::move(points)};  // frequency 1
  desc.compact_type = compact_type;
  return sim::build_uniformity_block(desc);
}

TEST(UniformityCookTransform, DifferencesLessTheOffsetsOfTheFrequency) {
  // No water line: T(0) copied, T(2) = V2 - V1, T(3) = V3 - V2.
  const std::vector<std::vector<int16_t>> lines = {{1, 2, 3}, {10, 10, 10}, {15, 12, 10}, {20, 10, 0}, {0, 0, 0}};
  const std::vector<sim::UniformityEntry> points = {
      {0, 1, 5},    // line 2, Rx 1
      {1, 2, -4},   // line 3, Rx 2
      {3, 0, 50},   // line 5: outside the frame
      {0, 3, 50},   // Rx 3: outside the frame
  };
  const std::vector<std::vector<int16_t>> expected = {{1, 2, 3}, {0, 0, 0}, {5, -3, 0}, {5, -2, -6}, {0, 0, 0}};
  for (const auto layout : {sim::UniformityLayout::kPlain, sim::UniformityLayout::kIndexed,
                            sim::UniformityLayout::kWide, sim::UniformityLayout::kCompact}) {
    SCOPED_TRACE(static_cast<int>(layout));
    const std::vector<uint8_t> table = offsets_table(layout, points);
    UniformityOffsets offsets;
    offsets.table = table.data();
    offsets.size = 6144;
    offsets.format.indexed = layout == sim::UniformityLayout::kIndexed;
    offsets.format.wide = layout == sim::UniformityLayout::kWide;
    offsets.format.compact = layout == sim::UniformityLayout::kCompact;
    offsets.freq_index = 1;
    Frame frame(lines);
    Table t = empty_table();
    ASSERT_EQ(uniformity_cook_transform(frame.buffer, frame.extent(), 3, 2, false, offsets, t.get()), 0);
    EXPECT_EQ(lines_of(*t, 5, 3), expected);
  }
}

TEST(UniformityCookTransform, WaterLineCheckerboardAndWideShift) {
  // Water line: T(0), T(1) copied; T(L) = V(L+1) - V(L) for L = 2 .. N-2.
  // Table byte 7 = 1 (the compact table type) clears nodes with exactly one
  // odd coordinate for 0 < c < R-2 and 1 <= L < tx_total-2.
  std::vector<std::vector<int16_t>> lines(7, std::vector<int16_t>(5, 0));
  for (int l = 0; l < 7; ++l) {
    for (int c = 0; c < 5; ++c) lines[static_cast<size_t>(l)][static_cast<size_t>(c)] = static_cast<int16_t>(l * l + c);
  }
  const std::vector<uint8_t> table = offsets_table(sim::UniformityLayout::kCompact, {{0, 4, 7}}, 1);
  UniformityOffsets offsets;
  offsets.table = table.data();
  offsets.size = 6144;
  offsets.format.compact = true;
  offsets.freq_index = 1;
  Frame frame(lines);
  Table t = empty_table();
  // tx_total 5, extra lines 2 ... but the 16-bit entries move by extra_lines: 3 here.
  ASSERT_EQ(uniformity_cook_transform(frame.buffer, frame.extent(), 5, 3, true, offsets, t.get()), 0);
  // Line 1 (copied) at c = 2: L odd, c even: cleared. Line 2: c = 1 odd: cleared.
  EXPECT_EQ(lines_of(*t, 6, 5), (std::vector<std::vector<int16_t>>{
                                    {0, 1, 2, 3, 4},
                                    {1, 2, 0, 4, 5},
                                    {5, 0, 5, 5, 5},
                                    {7, 7, 7, 7, 7 - 7},
                                    {9, 9, 9, 9, 9},
                                    {11, 11, 11, 11, 11},
                                }));
}

}  // namespace
}  // namespace tmode
