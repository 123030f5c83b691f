// Uniformity-table creation: the points and their limits, the frequency
// line, and a table created from the simulated panel, written, read back
// and validated.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/uniformity_creation.h"
#include "diagnostics/uniformity_table.h"
#include "library/library_state.h"
#include "maintenance/byte_order.h"
#include "maintenance/parameter_images.h"
#include "maintenance/uniformity_format.h"
#include "sim/parameter_store.h"
#include "sim/sensor_setup.h"
#include "tests/support/sensor_test_bench.h"

namespace tmode {
namespace {

std::string hz_text(int p, int q, int r) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3fHz", uniformity_frequency_hz(p, q, r));
  return text;
}

TEST(UniformityFrequencyLine, TimingBytesGiveHertzAndAnUnloadedImageInfinity) {
  struct Case {
    int p, q, r;
    const char* text;
  };
  const Case cases[] = {
      {20, 10, 3, "50.000Hz"},    // 72000 / 24 = 3000, / 30 = 100, / 2
      {20, 3, 10, "250.000Hz"},   // r keeps its low three bits: 3000 / 6 / 2
      {0, 18, 3, "166.667Hz"},    // 18000 / 54 / 2
      {20, 0x8A, 3, "50.000Hz"},  // q keeps its low seven bits
      {0, 0, 0, "infHz"},         // an image never loaded
      {20, 3, 8, "infHz"},        // r & 7 = 0
  };
  for (const Case& c : cases) EXPECT_EQ(hz_text(c.p, c.q, c.r), c.text) << c.p << "," << c.q << "," << c.r;
}

class UniformityPoints : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(table.data(), 0, table.size());
    library.uniformity = UniformityTableState{};
    library.uniformity_creation.count_mask = 0x0FFF;
    library.uniformity_creation.size_limit = 6144;
  }
  void TearDown() override { library.uniformity = UniformityTableState{}; }

  void format(bool indexed, bool wide) {
    library.uniformity.format.indexed = indexed;
    library.uniformity.format.wide = wide;
  }

  std::vector<uint8_t> table = std::vector<uint8_t>(kUniformityWorkBytes);
};

TEST_F(UniformityPoints, OffsetsBeyondTheEntryAreClampedAndReported) {
  struct Case {
    bool wide;
    int offset, stored, result;
  };
  const Case cases[] = {
      {false, 200, 127, 2}, {false, 128, 127, 2},   {false, 127, 127, 0},      {false, -127, -127, 0},
      {false, -128, -127, 2}, {false, -200, -127, 2}, {true, 200, 200, 0},      {true, 32767, 32767, 0},
      {true, 32768, 32767, 2}, {true, 40000, 32767, 2}, {true, -32768, -32767, 2}, {true, -300, -300, 0},
  };
  for (const Case& c : cases) {
    SetUp();
    format(true, c.wide);
    int index = 0;
    EXPECT_EQ(add_uniformity_point(table.data(), 9, 4, c.offset, 0, &index), c.result) << c.offset;
    EXPECT_EQ(index, 1);
    EXPECT_EQ(table[86], 4) << "Tx first";
    EXPECT_EQ(table[87], 9);
    const int stored = c.wide ? static_cast<int16_t>(read_le16(&table[88])) : static_cast<int8_t>(table[88]);
    EXPECT_EQ(stored, c.stored) << c.offset;
    EXPECT_EQ(read_le16(&table[6]), 1) << "count of frequency 0";
  }
}

TEST_F(UniformityPoints, APlainSectionTakesOneHundredPoints) {
  format(false, false);
  int index = 0;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(add_uniformity_point(table.data(), i % 30, i / 30, 5, 3, &index), 0) << i;
  EXPECT_EQ(add_uniformity_point(table.data(), 0, 9, 5, 3, &index), 1) << "the 101st";
  EXPECT_EQ(index, 100);
  EXPECT_EQ(read_le16(&table[6 + 4 * 3]), 100);
  EXPECT_EQ(add_uniformity_point(table.data(), 0, 9, 5, 4, &index), 0) << "the next frequency has room";
}

TEST_F(UniformityPoints, AnIndexedTableEndsAtItsSize) {
  format(true, true);
  library.uniformity_creation.size_limit = 86 + 4 * 3;
  int index = 0;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(add_uniformity_point(table.data(), i, 0, 5, 0, &index), 0);
  EXPECT_EQ(add_uniformity_point(table.data(), 3, 0, 5, 0, &index), 1);
  EXPECT_EQ(add_uniformity_point(table.data(), 3, 0, 5, 1, &index), 1) << "whatever the frequency";
  EXPECT_EQ(add_uniformity_point(table.data(), 3, 0, 5, 20, &index), 1) << "no frequency 20";
}

// The simulated panel as model 24 sees it: image 4 and the first software
// image from the simulator, the water line present.
class UniformityCreationTest : public test::SensorTestBench {
 protected:
  void SetUp() override {
    SensorTestBench::SetUp();
    library.model_code = 24;
    library.frame.raw_scaling = 100;
    library.uniformity = UniformityTableState{};
  }
  void TearDown() override {
    library.uniformity = UniformityTableState{};
    for (auto& nodes : library.uniformity_creation.nodes) nodes.reset();
    SensorTestBench::TearDown();
  }

  // Model 34 at level 7 with the compact table of type 0: the frequency
  // count and records in image 1.
  void compact_controller(int frequencies) {
    library.model_code = 34;
    sim.update([](sim::ControllerState& s) {
      s.family.level[0] = 7;
      s.family.features.assign(60, 0);
      s.family.features[23] = 0x80;
      s.registers.block_6b = {0, 1, 0, 0};  // '?','k' 1: one line before the water line
    });
    working_frequencies(frequencies, 20, 1);
  }

  // Working frequencies of the simulator's hardware block, each record
  // with clock source p, divider 3 and prescaler 10, loaded into the image
  // of the slot.
  void working_frequencies(int count, int p = 20, int slot = 4) {
    sim.update([&](sim::ControllerState& s) {
      ASSERT_TRUE(sim::apply_panel_geometry(s));
      std::vector<uint8_t>& block = s.parameters.working[1];
      block[17] = static_cast<uint8_t>(count);
      for (int f = 0; f < count && 400 + 90 * f + 3 < static_cast<int>(block.size()); ++f) {
        block[static_cast<size_t>(400 + 90 * f + 1)] = static_cast<uint8_t>(p);
        block[static_cast<size_t>(400 + 90 * f + 2)] = 3;
        block[static_cast<size_t>(400 + 90 * f + 3)] = 10;
      }
      s.parameters.seal(1);
    });
    ASSERT_EQ(load_parameter_images(slot), 0);
    library.images.first_software[181] |= 0x80;  // the water line
  }

  std::vector<std::vector<uint8_t>> commands(char a, char b) {
    std::vector<std::vector<uint8_t>> found;
    for (const auto& c : sim.received_commands()) {
      if (c.size() > 4 && c[2] == a && c[3] == b) found.push_back(c);
    }
    return found;
  }

  // Node buffers as a capture leaves them: frequency f's lines given.
  void nodes(int frequencies, int tx, int rx, const std::vector<std::vector<int>>& lines) {
    UniformityCreation& uc = library.uniformity_creation;
    uc.frequency_count = frequencies;
    uc.tx_total = tx;
    uc.rx_total = rx;
    for (int f = 0; f < frequencies; ++f) {
      uc.nodes[f].reset(new int16_t[static_cast<size_t>(tx * rx + 1)]());
      uc.nodes[f][0] = static_cast<int16_t>(f);
      for (int t = 0; t < tx; ++t) {
        for (int r = 0; r < rx; ++r) uc.nodes[f][1 + t * rx + r] = static_cast<int16_t>(lines[static_cast<size_t>(t)][static_cast<size_t>(r)]);
      }
    }
  }
};

TEST_F(UniformityCreationTest, AnOffsetOf200OverflowsAByteEntryAndNothingIsWritten) {
  library.model_code = 18;  // indexed, 3-byte entries
  library.uniformity.size = 1024;
  library.uniformity.format = {false, true, false, false};
  library.uniformity_creation.count_mask = 0x0FFF;
  library.uniformity_creation.size_limit = 1024;
  nodes(1, 3, 3, {{0, 0, 0}, {200, 0, 0}, {200, 0, 0}});
  sim.clear_traffic();

  EXPECT_EQ(build_uniformity_points(7, 50), 0);
  const std::string log = take_log();
  EXPECT_NE(log.find("\n\n######,FreqIndex,0,infHz\nRx[ 00 ],**200,0,\nRx[ 01 ],0,0,\n,Tx[ 00 ],Tx[ 01 ],"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Create System Offset Map Fail!!(Offset Overflow),"), std::string::npos) << log;
  EXPECT_EQ(log.find("FW KernelVer"), std::string::npos) << "no point list after an error";
  EXPECT_TRUE(commands('?', 'I').empty()) << "the controller's table is left as it was";
}

TEST_F(UniformityCreationTest, PointsAreLoggedAndWrittenAsTheControllersTable) {
  library.model_code = 18;  // 1024 bytes, indexed, 3-byte entries, seed 0x55
  library.uniformity.size = 1024;
  library.uniformity.format = {false, true, false, false};
  library.uniformity_creation.count_mask = 0x0FFF;
  library.uniformity_creation.size_limit = 1024;
  library.images.hardware2[401] = 20;  // p
  library.images.hardware2[402] = 3;   // r
  library.images.hardware2[403] = 10;  // q
  nodes(1, 3, 4, {{0, 0, 0, 0}, {60, 0, -70, 5}, {60, 0, -70, -85}});

  ASSERT_EQ(build_uniformity_points(7, 50), 1);
  EXPECT_EQ(take_log(),
            "\n\n######,FreqIndex,0,50.000Hz\n"
            "Rx[ 00 ],**60,0,\n"
            "Rx[ 01 ],0,0,\n"
            "Rx[ 02 ],**-70,0,\n"
            ",Tx[ 00 ],Tx[ 01 ],"
            "\n\nFW KernelVer,7\n"
            "Threshold,50\n"
            ",,Index,RxCh,TxCh,Offset\n"
            "FreqIndex,0\n"
            "ValidCount,2\n"
            ",,[00],0,0,60\n"
            ",,[01],2,0,-70\n");
  std::vector<uint8_t> stored;
  sim.update([&](sim::ControllerState& s) { stored = s.parameters.committed[2]; });
  ASSERT_GE(stored.size(), 1024u);
  EXPECT_EQ(read_le16(&stored[0]), 1024);
  EXPECT_EQ(read_le16(&stored[2]), 0x55 + 50 + 2 + 60 + 2 + 0xBA);
  EXPECT_EQ(stored[4], 50);
  EXPECT_EQ(read_le16(&stored[6]), 2);
  EXPECT_EQ(read_le16(&stored[8]), 0);
  EXPECT_EQ(std::vector<uint8_t>(stored.begin() + 86, stored.begin() + 92), test::bytes({0, 0, 60, 0, 2, 0xBA}));
}

TEST_F(UniformityCreationTest, APlainTableIsWrittenInSlotsOf301Bytes) {
  library.model_code = 10;  // level 7: the plain table, seed 0x55
  library.uniformity.size = 6144;
  library.uniformity_creation.count_mask = 0x0FFF;
  library.uniformity_creation.size_limit = 6144;
  nodes(2, 3, 3, {{0, 0, 0}, {0, -90, 0}, {0, -90, 0}});

  ASSERT_EQ(build_uniformity_points(7, 50), 1);
  library.uniformity = UniformityTableState{};
  sim.update([](sim::ControllerState& s) { s.family.level[0] = 7; });
  ASSERT_EQ(load_uniformity_table(0, 0), 0);
  const UniformityTableState& u = library.uniformity;
  ASSERT_FALSE(u.format.indexed);
  ASSERT_TRUE(uniformity_table_valid(u.buffer.get(), u.size, u.format));
  EXPECT_EQ(u.buffer[5], 1) << "frequency 0's count";
  EXPECT_EQ(u.buffer[5 + 301], 1) << "frequency 1's count";
  EXPECT_EQ(std::vector<uint8_t>(u.buffer.get() + 306, u.buffer.get() + 310), test::bytes({1, 0, 1, 0xA6}))
      << "frequency 1's slot at 5 + 301: count, then Tx 0, Rx 1, -90";
}

TEST_F(UniformityCreationTest, The101stPointOfAPlainTableEndsTheCreation) {
  library.model_code = 10;  // kv below 13: the plain table
  library.uniformity.size = 6144;
  library.uniformity_creation.count_mask = 0x0FFF;
  library.uniformity_creation.size_limit = 6144;
  // 11 Tx and 12 Rx lines: a 10 x 11 grid, 110 nodes all beyond the threshold.
  std::vector<std::vector<int>> lines(11, std::vector<int>(12, 0));
  for (int t = 0; t < 11; ++t) {
    for (int r = 0; r < 12; ++r) lines[static_cast<size_t>(t)][static_cast<size_t>(r)] = 20 * t;
  }
  nodes(1, 11, 12, lines);
  sim.clear_traffic();

  EXPECT_EQ(build_uniformity_points(7, 10), 0);
  const std::string log = take_log();
  EXPECT_NE(log.find("Create Uniformity Table fail!!(Point is too much),"), std::string::npos) << log;
  EXPECT_TRUE(commands('?', 'I').empty());
}

TEST_F(UniformityCreationTest, APanelWithAnOpenLineGetsItsPointsAtEveryFrequency) {
  working_frequencies(3);
  defects(test::with({{&sim::PanelDefects::open_tx, 5}}));
  sim.clear_traffic();

  ASSERT_EQ(create_uniformity_table(0, 0, 10, 100), 0) << take_log();

  const auto selects = commands('6', 'O');
  ASSERT_EQ(selects.size(), 4u) << "frequencies 0, 1, 2, then back to 0";
  for (int f = 0; f < 3; ++f) EXPECT_EQ(selects[static_cast<size_t>(f)][4], f);
  EXPECT_EQ(selects[3][4], 0);
  const std::string log = take_log();
  EXPECT_EQ(log.find("\r\nKernel Version:,10\r\nStatus Code:,0x"), 0u) << log;
  EXPECT_NE(log.find("Get Image Data Done\r\n"), std::string::npos);
  for (int f = 0; f < 3; ++f) {
    EXPECT_NE(log.find("\n\n######,FreqIndex," + std::to_string(f) + ",50.000Hz\nRx[ 00 ],"), std::string::npos) << f;
    EXPECT_NE(log.find("FreqIndex," + std::to_string(f) + "\nValidCount,54\n"), std::string::npos) << f;
  }
  EXPECT_NE(log.find("FW KernelVer,10\nThreshold,100\n,,Index,TxCh,RxCh,Offset\n"), std::string::npos);

  // Read back: model 24 at level 10 reads the indexed, wide, new-generation
  // table of 6144 bytes.
  library.uniformity = UniformityTableState{};
  sim.update([](sim::ControllerState& s) { s.family.level[0] = 10; });
  ASSERT_EQ(load_uniformity_table(0, 0), 0);
  const UniformityTableState& u = library.uniformity;
  ASSERT_EQ(u.size, 6144);
  ASSERT_TRUE(uniformity_table_valid(u.buffer.get(), u.size, u.format));
  EXPECT_EQ(u.buffer[4], 100) << "the threshold";
  for (int f = 0; f < 3; ++f) {
    UniformitySection section;
    ASSERT_TRUE(locate_uniformity_section(u.buffer.get(), u.size, u.format, f, &section)) << f;
    ASSERT_EQ(section.count, 54) << f;
    for (int e = 0; e < 54; ++e) {
      const UniformityPoint p = uniformity_point(u.buffer.get(), u.format, section, e);
      EXPECT_EQ(p.tx, e < 27 ? 4 : 5) << f << "/" << e;
      EXPECT_EQ(p.rx, e % 27) << f << "/" << e;
      // The open line reads a tenth of its signal, about 600.
      if (e < 27) {
        EXPECT_TRUE(p.offset < -500 && p.offset > -600) << p.offset;
      } else {
        EXPECT_TRUE(p.offset > 500 && p.offset < 600) << p.offset;
      }
    }
  }
}

TEST_F(UniformityCreationTest, ACompactTableIsBuiltFromThePointsAndReadsBack) {
  compact_controller(2);
  defects(test::with({{&sim::PanelDefects::open_tx, 5}}));

  ASSERT_EQ(create_uniformity_table(0, 0, 7, 100), 0) << take_log();
  const std::string log = take_log();
  EXPECT_NE(log.find("FreqIndex,1\nValidCount,54\n,,[00],4,0,"), std::string::npos) << log;

  library.uniformity = UniformityTableState{};
  ASSERT_EQ(load_uniformity_table(0, 0), 0);
  const UniformityTableState& u = library.uniformity;
  ASSERT_TRUE(u.format.compact);
  ASSERT_TRUE(uniformity_table_valid(u.buffer.get(), u.size, u.format)) << "seed 0xAA55, length 6144";
  EXPECT_EQ(read_le16(u.buffer.get() + 4), 100) << "the threshold";
  for (int f = 0; f < 8; ++f) {
    CompactPointReader reader;
    ASSERT_TRUE(reader.start(u.buffer.get(), u.size, f));
    ASSERT_EQ(reader.count(), f < 2 ? 54 : 0) << f;
    for (int e = 0; e < reader.count(); ++e) {
      UniformityPoint p{};
      ASSERT_TRUE(reader.next(&p));
      EXPECT_EQ(p.tx, e < 27 ? 4 : 5);
      EXPECT_EQ(p.rx, e % 27);
      EXPECT_EQ(p.offset < 0, e < 27) << p.offset;
    }
  }
}

TEST_F(UniformityCreationTest, ACompactTableTakesAtMostEightFrequencies) {
  compact_controller(9);
  sim.clear_traffic();
  EXPECT_EQ(create_uniformity_table(0, 0, 7, 100), -1);
  EXPECT_TRUE(commands('?', 'I').empty());
  EXPECT_EQ(commands('6', 'O').size(), 1u) << "only the selection back to 0";
  compact_controller(8);
  EXPECT_EQ(create_uniformity_table(0, 0, 7, 100), 0) << "eight are the most";
}

TEST_F(UniformityCreationTest, ModelsOutsideTheFrameGroupsTakeTheControllersNodeData) {
  library.model_code = 10;  // level 13: indexed, 3-byte entries, seed 0x55
  sim.update([](sim::ControllerState& s) { s.family.level[0] = 13; });
  working_frequencies(2, 20, 1);
  defects(test::with({{&sim::PanelDefects::open_tx, 5}}));
  sim.clear_traffic();

  ASSERT_EQ(create_uniformity_table(0, 0, 13, 30), 0) << take_log();
  EXPECT_EQ(commands('?', 'S').size(), 2u) << "one node-data run a frequency";
  // Readings of 60 to 65, a tenth of that on the open line.
  EXPECT_NE(take_log().find("Rx[ 00 ],0,0,0,0,**-54,**55,0,"), std::string::npos);

  library.uniformity = UniformityTableState{};
  ASSERT_EQ(load_uniformity_table(0, 0), 0);
  const UniformityTableState& u = library.uniformity;
  ASSERT_TRUE(uniformity_table_valid(u.buffer.get(), u.size, u.format));
  UniformitySection section;
  ASSERT_TRUE(locate_uniformity_section(u.buffer.get(), u.size, u.format, 1, &section));
  // Unsorted (flag A clear): row by row, the two lines beside the open one.
  // The range derivation of image 1 may count more Rx lines than the
  // simulator sends; the rows it has data for are checked.
  ASSERT_GE(section.count, 54);
  for (int e = 0; e < 54; ++e) {
    const UniformityPoint p = uniformity_point(u.buffer.get(), u.format, section, e);
    EXPECT_EQ(p.tx, e % 2 == 0 ? 4 : 5) << e;
    EXPECT_EQ(p.rx, e / 2) << e;
    EXPECT_EQ(p.offset < 0, e % 2 == 0) << e;
  }
  EXPECT_EQ(uniformity_point(u.buffer.get(), u.format, section, 0).offset, -54);
}

TEST_F(UniformityCreationTest, AMainLogThatCannotBeOpenedKeepsTheTable) {
  working_frequencies(1);
  defects(test::with({{&sim::PanelDefects::open_tx, 5}}));
  make_log_unwritable();
  EXPECT_EQ(create_uniformity_table(0, 0, 10, 100), 0);
  sim.update([](sim::ControllerState& s) { s.family.level[0] = 10; });
  ASSERT_EQ(load_uniformity_table(0, 0), 0);
  EXPECT_EQ(library.uniformity.section.count, 54);
}

TEST_F(UniformityCreationTest, ACaptureThatNeverEndsWritesNoTableSlow) {
  working_frequencies(2);
  sim.update([](sim::ControllerState& s) { s.panel.defects.unended_frames = true; });
  sim.clear_traffic();

  EXPECT_EQ(create_uniformity_table(0, 0, 10, 100), -1);
  EXPECT_EQ(commands('6', 'O').size(), 2u) << "frequency 0, then back to 0";
  EXPECT_TRUE(commands('?', 'I').empty());
  const auto areas = commands('?', 'H');
  ASSERT_FALSE(areas.empty());
  EXPECT_EQ(areas.back()[4], 0) << "the data stream off at the end";
  EXPECT_NE(take_log().find("Get Image Data Fail\r\n"), std::string::npos);
  EXPECT_FALSE(library.uniformity_creation.nodes[0]) << "the node buffers are freed";
}

TEST_F(UniformityCreationTest, NoFrequencyOrMoreThanTwentyAreRefused) {
  for (int count : {0, 21}) {
    working_frequencies(count);
    sim.clear_traffic();
    EXPECT_EQ(create_uniformity_table(0, 0, 10, 100), -1) << count;
    for (const auto& c : commands('?', 'H')) EXPECT_NE(c[5], 0x40) << "no frame stream started";
    EXPECT_TRUE(commands('?', 'I').empty()) << "the controller's table is kept";
    EXPECT_EQ(commands('6', 'O').size(), 1u) << "only the selection back to 0";
  }
  working_frequencies(20);
  sim.clear_traffic();
  EXPECT_EQ(create_uniformity_table(0, 0, 10, 100), 0) << "20 frequencies are the most";
  EXPECT_EQ(commands('6', 'O').size(), 21u);
}

}  // namespace
}  // namespace tmode
