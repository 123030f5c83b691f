// The mutual-capacitance tests and the raw dumps against the simulated
// panel: the Tuner generation, the sensor-test generation with its L2 test,
// and the chip labels of their tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "diagnostics/chip_labels.h"
#include "diagnostics/mutual_cap_evaluation.h"
#include "diagnostics/node_tolerance.h"
#include "diagnostics/test_raw_fetch.h"
#include "diagnostics/tuner_mutual_cap.h"
#include "maintenance/byte_order.h"
#include "maintenance/model_image_access.h"
#include "sim/sensor_setup.h"
#include "library/library_state.h"
#include "tests/support/sensor_test_bench.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

using test::SimLinkTest;

class TunerMutualCap : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    tuner = test::create_sim_panel_tuner();
    trace = std::make_unique<test::TunerTrace>(*tuner);
    library.frame.extra_lines = 2;
    sim.update(test::unity_front_end);
    // Scaling s x raw / 10 with s = 10 and no shift: the differences are raw.
    tuner->mutual_scaling = 0x800A;
    tuner->frequency_blocks[0].bytes[18] = 0;
    tuner->frequency_blocks[0].bytes[freq::kImageScaling] = 5;
    tuner->mutual_cap_values[0] = 20;
    tuner->mutual_cap_argument = 1;
  }
  void defects(const sim::PanelDefects& d) {
    sim.update([&](sim::ControllerState& s) { s.panel.defects = d; });
  }
  TunerPtr tuner;
  std::unique_ptr<test::TunerTrace> trace;
};

TEST(ChipLabels, WalkMovesToTheNextChipAfterItsLastChannelAndStaysOnTheLastChip) {
  ChipSpans spans;
  spans.count = 2;
  spans.first[0] = 3;
  spans.last[0] = 5;
  spans.first[1] = 0;
  spans.last[1] = 1;
  ChipLabelWalk walk(spans);
  std::string labels;
  for (int i = 0; i < 7; ++i, walk.advance()) labels += std::to_string(walk.chip()) + ":" + std::to_string(walk.channel()) + " ";
  EXPECT_EQ(labels, "0:3 0:4 0:5 1:0 1:1 1:2 1:3 ");

  ChipSpans none;
  ChipLabelWalk empty(none);
  empty.advance();
  EXPECT_EQ(empty.chip(), 0);
  EXPECT_EQ(empty.channel(), 1);
}

TEST_F(TunerMutualCap, Raw16DumpLabelsEachLineWithItsChip) {
  ASSERT_EQ(tuner_raw16_dump(*tuner), 1);
  const std::string text = trace->text();
  // The panel reads 600 x (1 + 0.002 t + 0.002 r); Tx labels pad with
  // spaces, Rx labels with zeros.
  const std::string head =
      "\nRaw16 Data\n,Chip-0[ 0],Chip-0[ 1],Chip-0[ 2],Chip-0[ 3],Chip-0[ 4],Chip-0[ 5],Chip-0[ 6],Chip-0[ 7],"
      "Chip-0[ 8],Chip-0[ 9],Chip-0[10],Chip-0[11],Chip-0[12],Chip-0[13],Chip-0[14],Chip-0[15]\n"
      "Rx[00],600,601,602,604,605,606,607,608,610,611,612,613,614,616,617,618,Chip-0[00]\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\nRx[13],616,617,618,619,620,622,623,624,625,626,628,629,630,631,632,634,Chip-0[13]\n"
                      "Rx[14],617,618,619,620,622,623,624,625,626,628,629,630,631,632,634,635,Chip-1[00]\n"),
            std::string::npos)
      << text;
  const std::string tail =
      "Rx[27],632,634,635,636,637,638,640,641,642,643,644,646,647,648,649,650,Chip-1[13]\n"
      ",Tx[00],Tx[01],Tx[02],Tx[03],Tx[04],Tx[05],Tx[06],Tx[07],Tx[08],Tx[09],Tx[10],Tx[11],Tx[12],Tx[13],Tx[14],Tx[15]";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 28 + 1);
}

TEST_F(TunerMutualCap, SlowFrameReadFailureEndsWithoutATable) {
  // The last line's report of every frame is lost: no frame completes.
  sim::PanelDefects d;
  d.lost_report = 17;
  defects(d);
  EXPECT_EQ(tuner_raw16_dump(*tuner), 0);
  EXPECT_EQ(trace->text(), "\nRaw16 Data\n");
  EXPECT_EQ(tuner_mutual_cap_test(*tuner), 0);
  const std::string text = trace->text();
  EXPECT_NE(text.find("\nMutual Cap Test scaling , 10\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Chip-"), std::string::npos) << text;
  EXPECT_EQ(text.find("Finish Mutual Cap Test"), std::string::npos) << text;
}

TEST(NodeTolerance, CornersExtendedCornersAndTheLastRxRowOfA20By30Panel) {
  // 20 Tx and 30 Rx lines: a grid of 19 columns and 29 rows. Corner
  // tolerance 25 (12 next to the corners), last-Rx tolerance 7.
  GridTolerances on;
  on.corner = 25;
  on.extended = true;
  on.last_rx = 7;
  GridTolerances off = on;
  off.extended = false;
  struct Case {
    int t, r;
    int with_extended, without;
  };
  const Case cases[] = {
      {0, 0, 25, 25},  {18, 0, 25, 25}, {0, 28, 32, 32}, {18, 28, 32, 32},  // corners
      {0, 1, 12, 0},   {1, 0, 12, 0},   {17, 28, 19, 7}, {18, 27, 12, 0},   // next to them
      {2, 0, 0, 0},    {0, 2, 0, 0},    {9, 14, 0, 0},   {9, 28, 7, 7},     // elsewhere
      {19, 0, 0, 0},   {0, 29, 0, 0},                                       // beyond the grid
  };
  for (const Case& c : cases) {
    EXPECT_EQ(node_tolerance(c.r, c.t, 30, 20, on), c.with_extended) << c.t << "," << c.r;
    EXPECT_EQ(node_tolerance(c.r, c.t, 30, 20, off), c.without) << c.t << "," << c.r;
  }
}

TEST_F(TunerMutualCap, CleanPanelPassesWithItsBlock) {
  ASSERT_EQ(tuner_mutual_cap_test(*tuner), 1);
  const std::string text = trace->text();
  const std::string head =
      "\nStart Mutual Cap Test\n\nMutual Cap Test threshold ,20,LastRxTolerance,0,CornerTolerance,0\n"
      "\nOrigin Point Location :,Upper Left\n\nMutual Cap Test scaling , 10\n"
      ",Chip-0[00],Chip-0[01],Chip-0[02],Chip-0[03],Chip-0[04],Chip-0[05],Chip-0[06],Chip-0[07],Chip-0[08],"
      "Chip-0[09],Chip-0[10],Chip-0[11],Chip-0[12],Chip-0[13],Chip-0[14]\n"
      "Rx[00],1,1,2,1,1,1,1,2,1,1,1,1,2,1,1,Chip-0[00]\n";
  EXPECT_EQ(text.substr(0, head.size()), head) << text;
  EXPECT_NE(text.find(",Tx[13],Tx[14]\nMutual Cap Test Pass\nFinish Mutual Cap Test\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Rx[27]"), std::string::npos) << "the last Rx line is not part of the grid";
}

TEST_F(TunerMutualCap, FailingNodesAreMarkedWithOneStar) {
  // Node (5, 3) moves by 141 (up or down, as the frame falls): its two
  // differences read 143 and -140, or -139 and 142, against threshold 120.
  tuner->mutual_cap_values[0] = 120;
  sim::PanelDefects d;
  d.noisy_tx = 5;
  d.noisy_rx = 3;
  d.noise = 141;
  defects(d);
  ASSERT_EQ(tuner_mutual_cap_test(*tuner), 0);
  const std::string text = trace->text();
  const bool up = text.find("\nRx[03],1,1,1,1,*143,*-140,1,") != std::string::npos;
  const bool down = text.find("\nRx[03],1,1,1,1,*-139,*142,1,") != std::string::npos;
  EXPECT_TRUE(up || down) << text;
  EXPECT_NE(text.find("\nMutual Cap Test Fail\nFinish Mutual Cap Test\n"), std::string::npos);
}

TEST_F(TunerMutualCap, SettingsLinesScalingFallbacksAndOrigin) {
  struct Case {
    const char* what;
    int threshold;
    uint8_t extended, origin;
    uint16_t tuner_word, block_word, open_word;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {"extended corners", 20, 1, 0, 0x800A, 0, 0, 1,
       "threshold ,20,LastRxTolerance,0,CornerTolerance,25,ExtendCornerTolerance:,12\n"},
      {"lower left", 20, 0, 4, 0x800A, 0, 0, 1, "\nOrigin Point Location :,Lower Left\n"},
      {"upper right", 20, 0, 2, 0x800A, 0, 0, 1, "\nOrigin Point Location :,Upper Right\n"},
      {"lower right", 20, 0, 6, 0x800A, 0, 0, 1, "\nOrigin Point Location :,Lower Right\n"},
      {"threshold above 80", 81, 0, 0, 0x800A, 0, 0, 1,
       "\nStart Mutual Cap Test\nWarning! Please check Mutual Cap test threshold\nMutual Cap Test threshold ,81,"},
      {"block's word", 20, 0, 0, 0, 0x800A, 0, 1, "\nMutual Cap Test scaling , 10\n"},
      {"open scaling", 20, 0, 0, 0, 0, 0x800A, 1,
       "\nGet Mutual Scaling Fail Use Open Scaling\nMutual Cap Test scaling , 10\n"},
      {"no scaling", 20, 0, 0, 0, 0, 0, 0, "\nGet Mutual Scaling Fail Use Open Scaling\nGet Scaling Fail"},
  };
  for (const Case& c : cases) {
    tuner->mutual_cap_values[0] = c.threshold;
    tuner->mutual_cap_values[2] = 25;
    uint8_t* image = tuner->hardware_block + hw::kSensorConfiguration;
    image[kExtendedCornerSetting] = c.extended;
    tuner->software_block[sw::kSwapBits] = c.origin;
    tuner->mutual_scaling = c.tuner_word;
    write_le16(image + cfg::kMutualScaling, c.block_word);
    write_le16(image + cfg::kOpenScaling, c.open_word);
    EXPECT_EQ(tuner_mutual_cap_test(*tuner), c.result) << c.what;
    const std::string text = trace->text();
    EXPECT_NE(text.find(c.text), std::string::npos) << c.what << "\n" << text;
    if (c.result == 0) {
      EXPECT_EQ(text.find("Rx[00]"), std::string::npos) << "no table without a scaling";
    }
  }
}

TEST_F(TunerMutualCap, PhaseVariantPassesACleanPanelAndRestoresTheDelays) {
  tuner->mutual_cap_values[0] = 2000;
  tuner->mutual_cap_argument = 1;
  uint8_t* group = tuner->hardware_block + hw::frequency_block(0) + freq::image_group(0);
  for (int i = 0; i < 7; ++i) group[6 * i] = static_cast<uint8_t>(10 + i);
  testing::internal::CaptureStdout();
  EXPECT_EQ(tuner_mutual_cap_phase_test(*tuner), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Start Mutual Cap Test\nMutual Cap Test pass\nFinish Mutual Cap Test\n");
  for (int i = 0; i < 7; ++i) EXPECT_EQ(group[6 * i], 10 + i);
  // The controller holds the restored block.
  sim.update([&](sim::ControllerState& s) {
    const auto& block = s.parameters.working[1];
    EXPECT_EQ(block[hw::frequency_block(0) + freq::image_group(0)], 10);
    EXPECT_EQ(block[hw::frequency_block(0) + freq::image_group(6)], 16);
  });
  sim::PanelDefects d;
  d.noisy_tx = 5;
  d.noisy_rx = 3;
  d.noise = 400;
  defects(d);
  testing::internal::CaptureStdout();
  EXPECT_EQ(tuner_mutual_cap_phase_test(*tuner), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Start Mutual Cap Test\nMutual Cap Test fail\nFinish Mutual Cap Test\n");
}

class MutualCapEvaluation : public test::SensorTestBench {};

TEST_F(MutualCapEvaluation, GridFromTheRawTableWithBothMarks) {
  // Model 22 differences the raw table as the last fetch left it: D = V(t)
  // - V(t + 1), shifted by the model image's shift byte (0 here).
  library.images.hardware3[kModelImageShiftByte] = 0;
  test::describe_sim_ranges(6);
  library.ranges.rx_total = 4;
  library.test_raw = {};
  library.test_raw.values[1][0] = 145;  // a corner at T + C passes, the extended corner beside it does not
  library.test_raw.values[3][1] = 140;  // -140 and 140 inside the grid
  library.test_raw.values[3][2] = 125;  // the last grid row allows 5 more
  EXPECT_EQ(evaluate_mutual_cap_test(0, 0, 120, 25, 1, 5), -1);
  EXPECT_TRUE(library.mutual.mutual_cap_failed);
  const std::string expected =
      "Mutual Cap Test\r\nThreshold:,120,LastRxTolerance,5,CornerTolerance:,25,ExtendCornerTolerance:,12\r\n"
      ",Chip-0[00],Chip-0[01],Chip-0[02],Chip-0[03],Chip-0[04],"
      "\nRx[00],-145,**145,0,0,0,Chip-0[00]"
      "\nRx[01],0,0,**-140,**140,0,Chip-0[01]"
      "\nRx[02],0,0,-125,125,0,Chip-0[02]"
      "\n,Tx[00],Tx[01],Tx[02],Tx[03],Tx[04]\r\n\r\n";
  EXPECT_EQ(take_log(), expected);
}

const char kSeparator[] =
    "////////////////////////,//////////////////////////////////////////////////////////////////////////////////,"
    "/////////////////////////////////////////////////////////////////////\r\n";

TEST_F(MutualCapEvaluation, L2BlockOnASmallPanel) {
  small_panel();
  EXPECT_EQ(l2_mutual_cap_test(0, 0, 20, 0), 0);
  std::string expected = "L2 Threshold:,20\r\nL2 Max Data\r\n";
  for (int r = 0; r < 5; ++r) expected += "Rx[ 0" + std::to_string(r) + " ],3,3,3,3,\r\n";
  expected += "\r\nL2 Min Data\r\n";
  for (int r = 0; r < 5; ++r) expected += "Rx[ 0" + std::to_string(r) + " ],-3,-3,-3,-3,\r\n";
  expected += ",Tx[ 00 ],Tx[ 01 ],Tx[ 02 ],Tx[ 03 ],\r\nMutual Cap Test Pass\r\n\r\n";
  expected += kSeparator;
  expected += "\r\nRAW16 DATA\r\n";  // models outside the even family append the raw table
  const std::string text = take_log();
  EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
  EXPECT_FALSE(library.mutual.l2_failed);
}

TEST_F(MutualCapEvaluation, L2RulesAndTheCommonVerdict) {
  struct Case {
    const char* what;
    sim::PanelDefects defects;
    const char* model;
    int skip;
    bool noise_failed;
    int result;
    const char* line;
  };
  sim::PanelDefects noisy, spike, short_end, short_second_last;
  noisy.noisy_tx = 5;
  noisy.noisy_rx = 10;
  noisy.noise = 300;
  spike.sample_spike = {5, 10, 300, 4};
  short_end.short_rx = 13;  // the last channel of sensing chip 0
  short_second_last.short_rx = 26;
  const Case cases[] = {
      {"clean", {}, "PLVX-6300", 0, false, 0, "\r\nMutual Cap Test Pass\r\n"},
      {"noisy node maximum", noisy, "PLVX-6300", 0, false, -1, "Rx[ 10 ],3,3,3,3,3,**33,3,"},
      {"noisy node minimum", noisy, "PLVX-6300", 0, false, -1, "Rx[ 10 ],-3,-3,-3,-3,-3,**-33,-3,"},
      {"spike", spike, "PLVX-6300", 0, false, -1, "Rx[ 10 ],3,3,3,3,3,**33,3,"},
      {"segment end judged", short_end, "PLVX-6300", 0, false, -1, "Rx[ 13 ],**100,**100,"},
      {"segment end skipped", short_end, "PLVX-6300", 1, false, 0, "Rx[ 13 ],100,100,"},
      {"second-last row", short_second_last, "PLVX-6300", 0, false, -1, "Rx[ 26 ],**100,"},
      {"second-last row blanked", short_second_last, "PLVX-5210", 0, false, 0, "Rx[ 26 ],0,0,"},
      {"noise part failed", {}, "PLVX-6300", 0, true, -1, "\r\nMutual Cap Test Fail\r\n"},
  };
  for (const Case& c : cases) {
    defects(c.defects);
    std::snprintf(library.cached_model_name, sizeof library.cached_model_name, "%s", c.model);
    library.noise.noise_failed = c.noise_failed;
    library.mutual.l2_failed = false;
    EXPECT_EQ(l2_mutual_cap_test(0, 0, 20, c.skip), c.result) << c.what;
    const std::string text = take_log();
    EXPECT_NE(text.find(c.line), std::string::npos) << c.what << "\n" << text;
    EXPECT_EQ(library.mutual.l2_failed, c.result != 0 && !c.noise_failed) << c.what;
  }
  library.noise.noise_failed = false;
  std::snprintf(library.cached_model_name, sizeof library.cached_model_name, "%s", "");
}

TEST_F(MutualCapEvaluation, L2LogThatCannotBeOpenedKeepsTheVerdict) {
  make_log_unwritable();
  EXPECT_EQ(l2_mutual_cap_test(0, 0, 20, 0), 0);
  sim::PanelDefects d;
  d.sample_spike = {1, 1, 500, 4};
  defects(d);
  EXPECT_EQ(l2_mutual_cap_test(0, 0, 20, 0), -1);
  EXPECT_TRUE(library.mutual.l2_failed);
}

TEST_F(MutualCapEvaluation, ScaledL2GridOfModel24) {
  library.model_code = 24;
  write_le16(library.images.first_software + kWaterLineWord, 0x8000);  // frames carry the water line
  write_le16(library.images.current_software + kWaterLineWord, 0x8000);
  write_le16(library.images.hardware4 + kModelImageMutualScaling, 0x800A);
  EXPECT_EQ(evaluate_mutual_cap_test(0, 0, 5, 0, 0, 0), 0);
  std::string text = take_log();
  EXPECT_EQ(text.rfind("Mutual Cap Test\r\nThreshold:,5,LastRxTolerance,0,CornerTolerance:,0\r\nMutualScaling:,10\r\n,", 0),
            0u)
      << text;
  // 600 >> 6 = 9 up to 650 >> 6 = 10.
  EXPECT_EQ(library.mutual.l2.values[0][0], 600);
  EXPECT_NE(text.find("\nRx[00],0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,Chip-0[00]"), std::string::npos) << text;

  sim::PanelDefects d;
  d.noisy_tx = 5;
  d.noisy_rx = 3;
  d.noise = 400;  // (610 + 400) >> 6 = 15, or 210 >> 6 = 3, against 9
  defects(d);
  EXPECT_EQ(evaluate_mutual_cap_test(0, 0, 5, 0, 0, 0), -1);
  text = take_log();
  EXPECT_TRUE(text.find(",**6,**-6,") != std::string::npos || text.find(",**-6,**6,") != std::string::npos) << text;
  EXPECT_TRUE(library.mutual.mutual_cap_failed);

  write_le16(library.images.hardware4 + kModelImageMutualScaling, 0);
  write_le16(library.images.hardware4 + kModelImageOpenScaling, 0);
  EXPECT_EQ(evaluate_mutual_cap_test(0, 0, 5, 0, 0, 0), -1);
  EXPECT_EQ(take_log(), "Mutual Cap Test\r\nThreshold:,5,LastRxTolerance,0,CornerTolerance:,0\r\nGet Scaling Fail\n");
  library.images = {};
}

class RawFetch : public test::SensorTestBench {};

TEST_F(RawFetch, FramesIntoTheirTables) {
  library.model_code = 18;  // two lines before the first Tx line
  library.test_raw = {};
  EXPECT_EQ(fetch_test_raw(0, 0), 0);
  EXPECT_EQ(library.test_raw.values[0][0], 600);
  EXPECT_EQ(library.test_raw.values[15][27], 650);
  library.mutual.l2 = {};
  EXPECT_EQ(fetch_test_raw(0, 0, true), 0);
  EXPECT_EQ(library.mutual.l2.values[0][0], 600);
  EXPECT_EQ(library.mutual.l2.values[15][27], 650);
  sim.update([](sim::ControllerState& s) {
    EXPECT_EQ(s.registers.select_5b, 1);
    EXPECT_EQ(s.parameters.selected_area, 0x8000);
  });
}

TEST_F(RawFetch, NodeReportsOfModels10To13FillLinesOf170) {
  // Staging lines of 300 bytes would hold 150 Rx values only.
  sim.update([](sim::ControllerState& s) {
    s.panel.rx_lines = 170;
    s.panel.sensing_chips = 4;
    ASSERT_TRUE(sim::apply_panel_geometry(s));
  });
  library.model_code = 10;
  library.test_raw = {};
  EXPECT_EQ(fetch_test_raw(0, 0), 0);
  EXPECT_EQ(library.test_raw.values[0][0], 600);
  EXPECT_EQ(library.test_raw.values[0][160], 792);
  EXPECT_EQ(library.test_raw.values[3][169], 806);
  EXPECT_EQ(library.test_raw.values[15][169], 821);
}

TEST_F(RawFetch, SizeThatCannotBeUsedIsRefused) {
  for (const int rx : {0, 173}) {
    sim.update([&](sim::ControllerState& s) { s.family.rx_channels = static_cast<uint8_t>(rx); });
    EXPECT_EQ(fetch_test_raw(0, 0), -1) << rx;
    EXPECT_EQ(fetch_test_raw(0, 0, true), -1) << rx;
    EXPECT_EQ(l2_mutual_cap_test(0, 0, 20, 0), -1) << rx;
    EXPECT_EQ(take_log(), "L2 Threshold:,20\r\nL2 Max Data\r\n") << rx;
    sim.update([](sim::ControllerState& s) { EXPECT_EQ(s.registers.select_5b, 1); });
  }
}

}  // namespace
}  // namespace tmode
