// The uniformity table read from the simulated controller in each size and
// format, validated, located and dumped; and the compact table built and
// dumped from memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/library_state.h"
#include "maintenance/byte_order.h"
#include "maintenance/compact_table.h"
#include "diagnostics/uniformity_table.h"
#include "sim/uniformity_block.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using sim::UniformityEntry;
using sim::UniformityLayout;
using test::read_file;
using test::test_data;

using Points = std::vector<std::vector<UniformityEntry>>;

Points byte_points() {
  Points p(20);
  p[0] = {{3, 7, -5}, {3, 8, 12}};
  p[2] = {{10, 0, 100}};
  p[19] = {{40, 33, -128}};
  return p;
}

Points wide_points() {
  Points p = byte_points();
  p[19] = {{40, 33, -300}};
  return p;
}

Points compact_points() {
  Points p(8);
  p[0] = {{3, 7, -5}, {3, 8, 12}};
  p[2] = {{10, 0, 100}};
  p[7] = {{5, 1, -300}, {6, 1, 7}, {5, 2, 1}};
  return p;
}

class UniformityTable : public test::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    library.uniformity = UniformityTableState{};
    library.frame.raw_scaling = 100;
    saved_model_ = library.model_code;
    std::snprintf(library.log_paths.slots[kUTableLog], kLogPathSize, "%s", log_path().c_str());
  }
  void TearDown() override {
    library.uniformity = UniformityTableState{};
    library.model_code = saved_model_;
    std::snprintf(library.log_paths.slots[kUTableLog], kLogPathSize, "Log.csv");
    SimLinkTest::TearDown();
  }

  std::string log_path() const { return scratch.file("utable.csv"); }

  // The controller's level, feature bytes (index, value) and table.
  void controller(int model, int level, std::vector<std::pair<int, int>> features,
                  const sim::UniformityBlockDescription& table) {
    library.model_code = model;
    sim.update([&](sim::ControllerState& s) {
      s.family.level[0] = static_cast<uint8_t>(level);
      s.family.features.assign(60, 0);
      for (auto [at, value] : features) s.family.features[static_cast<size_t>(at)] = static_cast<uint8_t>(value);
      s.parameters.working[2] = sim::build_uniformity_block(table);
    });
  }

  test::ScratchDir scratch;
  int saved_model_ = 0;
};

sim::UniformityBlockDescription table_of(UniformityLayout layout, int size, uint16_t seed, Points points) {
  sim::UniformityBlockDescription desc;
  desc.layout = layout;
  desc.size = size;
  desc.seed = seed;
  desc.threshold = 35;
  desc.frequencies = std::move(points);
  desc.compact_type = 5;
  return desc;
}

struct FormatCase {
  const char* name;
  int model;
  int level;
  std::vector<std::pair<int, int>> features;
  UniformityLayout layout;
  int size;
  uint16_t seed;
  int section_of_frequency_2;
  const char* golden;
};

const std::vector<FormatCase>& format_cases() {
  static const std::vector<FormatCase> cases = {
      {"plain", 10, 12, {}, UniformityLayout::kPlain, 6144, 0x55, 608, "rx_first_tabs.txt"},
      {"indexed", 10, 13, {}, UniformityLayout::kIndexed, 6144, 0x55, 92, "rx_first_tabs.txt"},
      {"indexed, new generation", 10, 47, {}, UniformityLayout::kIndexed, 6144, 0x55AA, 92, "tx_first_commas.txt"},
      {"indexed 1024", 18, 5, {}, UniformityLayout::kIndexed, 1024, 0x55, 92, "rx_first_tabs.txt"},
      {"wide, new generation", 24, 10, {}, UniformityLayout::kWide, 6144, 0x55AA, 94, "wide_tx_first.txt"},
      {"wide", 22, 8, {}, UniformityLayout::kWide, 6144, 0x55, 94, "wide_rx_first.txt"},
      {"wide 3072", 62, 7, {{21, 1}}, UniformityLayout::kWide, 3072, 0x55AA, 94, "wide_tx_first.txt"},
      {"compact, code 24", 24, 48, {{20, 0x85}}, UniformityLayout::kCompact, 6144, 0, 56, "compact.txt"},
      {"compact, even code", 34, 7, {{23, 0x85}}, UniformityLayout::kCompact, 6144, 0, 56, "compact.txt"},
  };
  return cases;
}

Points points_for(const FormatCase& c) {
  if (c.layout == UniformityLayout::kCompact) return compact_points();
  return c.layout == UniformityLayout::kWide ? wide_points() : byte_points();
}

TEST_F(UniformityTable, EachSizeAndFormatIsReadLocatedAndDumped) {
  for (const FormatCase& c : format_cases()) {
    SCOPED_TRACE(c.name);
    library.uniformity = UniformityTableState{};
    sim::UniformityBlockDescription table = table_of(c.layout, c.size, c.seed, points_for(c));
    table.count_flags = 0xB000;  // ignored by the reader
    controller(c.model, c.level, c.features, table);
    library.uniformity.freq_index = 2;
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    EXPECT_EQ(library.uniformity.size, c.size);
    EXPECT_EQ(library.uniformity.format.compact, c.layout == UniformityLayout::kCompact);
    EXPECT_EQ(library.uniformity.section.offset, c.section_of_frequency_2);
    EXPECT_EQ(library.uniformity.section.count, 1);
    ASSERT_EQ(dump_uniformity_table(0, 0), 1);
    EXPECT_EQ(read_file(log_path()), read_file(test_data(std::string("uniformity/") + c.golden)));
    EXPECT_EQ(dump_uniformity_table(0, 0), -1) << "the dump freed the buffer";
  }
}

TEST_F(UniformityTable, BadChecksumLeavesTheSectionAndFailsTheDump) {
  for (const FormatCase& c : format_cases()) {
    if (c.layout == UniformityLayout::kCompact) continue;  // dumped without validation
    SCOPED_TRACE(c.name);
    sim::UniformityBlockDescription table = table_of(c.layout, c.size, c.seed, points_for(c));
    table.bad_checksum = true;
    library.uniformity = UniformityTableState{};
    controller(c.model, c.level, c.features, table);
    ASSERT_EQ(load_uniformity_table(0, 0), 0) << "the whole table was read";
    library.uniformity.section = {1, 99};
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    EXPECT_EQ(library.uniformity.section.offset, 1);
    EXPECT_EQ(library.uniformity.section.count, 99);
    testing::internal::CaptureStdout();
    EXPECT_EQ(dump_uniformity_table(0, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "(E) Dump Error, Table is Invalid!!\r\n");
    EXPECT_EQ(read_file(log_path()), "Table is Invalid!!\r\n");
  }
}

TEST_F(UniformityTable, SeedAndLengthFieldDecideValidity) {
  struct Case {
    int level;        // model 10: flag A above 46
    uint16_t seed;
    int stored_size;  // the table's own length field
    bool valid;
  };
  const Case cases[] = {
      {13, 0x55, 6144, true},   {13, 0x55AA, 6144, false}, {47, 0x55AA, 6144, true},
      {47, 0x55, 6144, false},  {13, 0x55, 3072, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " seed " << c.seed << " size " << c.stored_size);
    controller(10, c.level, {}, table_of(UniformityLayout::kIndexed, c.stored_size, c.seed, byte_points()));
    library.uniformity.freq_index = 0;
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    library.uniformity.section = {1, 99};
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    EXPECT_EQ(library.uniformity.section.count, c.valid ? 2 : 99);
  }
}

TEST_F(UniformityTable, ImpossibleDirectoryIsNeitherLocatedNorDumped) {
  for (const FormatCase& c : format_cases()) {
    SCOPED_TRACE(c.name);
    sim::UniformityBlockDescription table = table_of(c.layout, c.size, c.seed, points_for(c));
    table.impossible_directory = true;
    library.uniformity = UniformityTableState{};
    controller(c.model, c.level, c.features, table);
    const bool compact = c.layout == UniformityLayout::kCompact;
    library.uniformity.freq_index = compact ? 7 : 19;
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    library.uniformity.section = {1, 99};
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    EXPECT_EQ(library.uniformity.section.count, 99);
    testing::internal::CaptureStdout();
    EXPECT_EQ(dump_uniformity_table(0, 0), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(read_file(log_path()), compact ? "Table is Invalid!!\n" : "Table is Invalid!!\r\n");
  }
}

TEST_F(UniformityTable, SizeChangesReallocateTheBuffer) {
  // Code 18 keeps the flags of code 24 before it: wide, seed 0x55AA.
  const int sizes[] = {6144, 1024, 6144};
  for (const int size : sizes) {
    controller(size == 1024 ? 18 : 24, 10, {}, table_of(UniformityLayout::kWide, size, 0x55AA, wide_points()));
    library.uniformity.freq_index = 19;
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    EXPECT_EQ(library.uniformity.buffer_size, size);
    EXPECT_EQ(library.uniformity.section.count, 1);
    EXPECT_EQ(library.uniformity.section.offset, 86 + 4 * 3);
  }
}

TEST_F(UniformityTable, RefusalsAndReadErrors) {
  library.model_code = 99;  // no table size known for this model
  EXPECT_EQ(load_uniformity_table(0, 0), -1);
  EXPECT_EQ(dump_uniformity_table(0, 0), -1) << "nothing loaded";

  const FormatCase& c = format_cases()[0];
  controller(c.model, c.level, c.features, table_of(c.layout, c.size, c.seed, points_for(c)));
  ASSERT_EQ(load_uniformity_table(0, 0), 0);
  // The chunk at 108 answered for another position ten times: 108 bytes.
  sim::Fault other_position = sim::wrong_byte('?', 'J', 5, 109, 10);
  other_position.when = [](const sim::Bytes& p) { return p[2] == 2 && (p[3] | p[4] << 8) == 108; };
  sim.add_fault(other_position);
  testing::internal::CaptureStdout();
  EXPECT_EQ(dump_uniformity_table(0, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "(E) Read Uniformity Table Error(size=108).\r\n");
  EXPECT_EQ(read_file(log_path()), "Read Uniformity Table Error(size=108).\r\n");

  sim.add_fault(other_position);
  EXPECT_EQ(load_uniformity_table(0, 0), -1) << "a short read";

  std::snprintf(library.log_paths.slots[kUTableLog], kLogPathSize, "%s", scratch.file("none/u.csv").c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(dump_uniformity_table(0, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "(E) Open File Fail!!!\n");
}

TEST_F(UniformityTable, EvenCodesSetTheRawScaling) {
  struct Case {
    int level;
    std::vector<std::pair<int, int>> features;
    uint16_t status_code;
    int scaling;
  };
  const Case cases[] = {
      {8, {{22, 1}, {24, 110}}, 0, 110},
      {8, {{22, 1}, {24, 130}}, 0, 130},
      {8, {{22, 1}, {24, 131}}, 0, 100},
      {8, {{22, 1}, {24, 70}}, 0, 70},
      {8, {{22, 1}, {24, 69}}, 0, 100},
      {8, {{22, 1}, {24, 110}}, 0x0800, 100},  // status bit 27
      {8, {{24, 110}}, 0, 100},                 // not announced
      {6, {{15, 27}, {22, 1}}, 0, 92},          // from the hardware image
  };
  write_le16(library.images.current_hardware + 396, 92);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " scaling " << c.scaling);
    library.frame.raw_scaling = 100;
    sim.update([&](sim::ControllerState& s) { s.registers.status_code = c.status_code; });
    controller(34, c.level, c.features, table_of(UniformityLayout::kWide, 6144, 0x55AA, wide_points()));
    ASSERT_EQ(load_uniformity_table(0, 0), 0);
    EXPECT_EQ(library.frame.raw_scaling, c.scaling);
  }
  write_le16(library.images.current_hardware + 396, 0);
}

// The compact table as the format lays it out: 80 bytes, version 2, type 5,
// threshold 35; frequency 7 alternates between two TxCh values.
const std::vector<uint8_t> kCompactGolden = {
    80, 0, 0x14, 0xAF, 35, 0, 2, 5, 0, 0, 0, 0, 0, 0, 0, 0,           // header
    2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0,                    // frequencies 0 to 3
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 13, 0,                   // frequencies 4 to 7
    3, 2, 7, 0xFB, 0xFF, 8, 12, 0, 10, 1, 0, 100, 0,                   // groups of 0 and 2
    5, 1, 1, 0xD4, 0xFE, 6, 1, 1, 7, 0, 5, 1, 2, 1, 0,                 // groups of 7
    0, 0, 0, 0};

std::vector<uint8_t> wide_source(Points points, int size = 6144) {
  return sim::build_uniformity_block(table_of(UniformityLayout::kWide, size, 0x55AA, std::move(points)));
}

TEST(CompactTable, BuildsTheGoldenTableAndDumpsIt) {
  auto info = create_compact_info();
  EXPECT_EQ(info->size, 0u);
  EXPECT_EQ(info->table_type, 0xFF);
  EXPECT_EQ(info->table_version, 2);
  info->size = 80;
  info->table_type = 5;
  const std::vector<uint8_t> source = wide_source(compact_points());
  ASSERT_EQ(build_compact_uniformity_table(info.get(), source.data(), 6144, 35), 0);
  EXPECT_EQ(std::vector<uint8_t>(info->data.get(), info->data.get() + 80), kCompactGolden);
  EXPECT_EQ(compact_checksum(kCompactGolden.data(), 80), 0xAF14);

  test::ScratchDir scratch;
  FILE* file = std::fopen(scratch.file("c.txt").c_str(), "w");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(dump_compact_uniformity_table(info.get(), file, info->data.get(), 80), 0);
  std::fclose(file);
  EXPECT_EQ(read_file(scratch.file("c.txt")), read_file(test_data("uniformity/compact.txt")));

  release_compact_info(info.get());
  EXPECT_EQ(info->data, nullptr);
}

TEST(CompactTable, SizeLimitsAndRefusals) {
  auto info = create_compact_info();
  const std::vector<uint8_t> source = wide_source(compact_points());
  struct Case {
    uint32_t size;
    int result;
  };
  // The third point of frequency 7 is written at 71 and needs 5 bytes.
  for (const Case c : {Case{76, 0}, Case{75, 1}, Case{48, 1}, Case{47, -1}, Case{65536, -1}}) {
    info->size = c.size;
    EXPECT_EQ(build_compact_uniformity_table(info.get(), source.data(), 6144, 35), c.result) << c.size;
  }
  info->size = 48;
  const std::vector<uint8_t> empty = wide_source(Points(8));
  EXPECT_EQ(build_compact_uniformity_table(info.get(), empty.data(), 6144, 35), 0);

  info->size = 1024;
  Points unstorable(8);
  unstorable[1] = {{255, 1, 1}};
  const std::vector<uint8_t> bad_tx = wide_source(unstorable);
  EXPECT_EQ(build_compact_uniformity_table(info.get(), bad_tx.data(), 6144, 35), -1) << "TxCh 255";
  EXPECT_EQ(build_compact_uniformity_table(info.get(), source.data(), 85, 35), -1) << "source too short";
  std::vector<uint8_t> far = source;
  far[8 + 4 * 7] = 0xFF;  // frequency 7's first entry far beyond the source
  far[9 + 4 * 7] = 0x7F;
  EXPECT_EQ(build_compact_uniformity_table(info.get(), far.data(), 6144, 35), -1);
}

TEST(CompactTable, LongRunsOfOneTxChSplitIntoGroupsOf255) {
  Points points(8);
  for (int i = 0; i < 300; ++i) points[0].push_back({9, static_cast<uint8_t>(i % 100), static_cast<int16_t>(i)});
  const std::vector<uint8_t> source = wide_source(points);
  auto info = create_compact_info();
  info->size = 1024;
  ASSERT_EQ(build_compact_uniformity_table(info.get(), source.data(), 6144, 0), 0);
  const uint8_t* t = info->data.get();
  EXPECT_EQ(t[48], 9);
  EXPECT_EQ(t[49], 255);
  EXPECT_EQ(t[48 + 2 + 255 * 3], 9);
  EXPECT_EQ(t[48 + 2 + 255 * 3 + 1], 45);

  test::ScratchDir scratch;
  FILE* file = std::fopen(scratch.file("c.txt").c_str(), "w");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(dump_compact_uniformity_table(info.get(), file, t, 1024), 0);
  std::fclose(file);
  const std::string text = read_file(scratch.file("c.txt"));
  EXPECT_NE(text.find("[255],9,55,255\n[256],9,56,256\n"), std::string::npos);
  EXPECT_NE(text.find("[299],9,99,299\n"), std::string::npos);
}

TEST(CompactTable, GroupCountZeroCoversTheFollowing256Points) {
  std::vector<uint8_t> table(48 + 2 + 256 * 3, 0);
  table[16] = 0;  // 256 points of frequency 0
  table[17] = 1;
  table[48] = 4;
  table[49] = 0;
  for (int e = 0; e < 256; ++e) table[50 + 3 * e] = static_cast<uint8_t>(e);
  test::ScratchDir scratch;
  FILE* file = std::fopen(scratch.file("c.txt").c_str(), "w");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(dump_compact_uniformity_table(nullptr, file, table.data(), static_cast<int>(table.size())), 0);
  std::fclose(file);
  EXPECT_NE(read_file(scratch.file("c.txt")).find("[255],4,255,0\n"), std::string::npos);
  // One byte short: the last point runs past the table.
  file = std::fopen(scratch.file("d.txt").c_str(), "w");
  EXPECT_EQ(dump_compact_uniformity_table(nullptr, file, table.data(), static_cast<int>(table.size()) - 1), -1);
  std::fclose(file);
  EXPECT_EQ(read_file(scratch.file("d.txt")), "Table is Invalid!!\n");
}

}  // namespace
}  // namespace tmode
