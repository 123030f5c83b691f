// Every diagnostic test against every simulated panel defect: a clean panel
// passes everything, and each defect fails the tests that exist to find it.
// A row per panel, a column per test; a new test is a new column (a field
// of PanelRow and an entry of kColumns).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "diagnostics/mutual_cap_evaluation.h"
#include "diagnostics/open_short_tests.h"
#include "diagnostics/sensor_tests.h"
#include "diagnostics/test_raw_fetch.h"
#include "diagnostics/tuner_mutual_cap.h"
#include "library/library_state.h"
#include "maintenance/byte_order.h"
#include "maintenance/model_image_access.h"
#include "tests/support/sensor_test_bench.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

enum Verdict : char { P = 'P', F = 'F' };

struct PanelRow {
  const char* panel;
  sim::PanelDefects defects;
  Verdict open, short_test, mutual_cap, sensor1, sensor2, sensor3, sensor4, scaled_mutual_cap, l2;
};

class DefectMatrix : public test::SensorTestBench {
 public:
  void SetUp() override {
    SensorTestBench::SetUp();
    tuner = create_tuner();
    test::describe_sim_panel(tuner->config.bytes);
    test::describe_sim_panel(tuner->hardware_block + hw::kSensorConfiguration);
    trace = std::make_unique<test::TunerTrace>(*tuner);
    tuner->open_scaling = 10;
    tuner->params.short_test_threshold = 30;
    tuner->mutual_scaling = 0x800A;  // the raw values, unshifted
    tuner->frequency_blocks[0].bytes[18] = 0;
    tuner->frequency_blocks[0].bytes[freq::kImageScaling] = 5;
    tuner->mutual_cap_values[0] = 20;
    tuner->mutual_cap_argument = 1;  // one frame: the noisy node does not average out
  }
  // 1 pass, 0 fail for the Tuner generation; 0 pass, -1 fail for the others.
  bool tuner_pass(int result) {
    trace->text();
    return result == 1;
  }
  bool scaled_mutual_cap_pass() {
    library.model_code = 24;
    write_le16(library.images.first_software + kWaterLineWord, 0x8000);
    write_le16(library.images.current_software + kWaterLineWord, 0x8000);
    write_le16(library.images.hardware4 + kModelImageMutualScaling, 0x800A);
    const int result = evaluate_mutual_cap_test(0, 0, 5, 0, 0, 0);
    library.model_code = 22;
    return result == 0;
  }
  bool l2_pass() {
    library.mutual.l2_failed = false;
    library.mutual.mutual_cap_failed = false;
    return l2_mutual_cap_test(0, 0, 20, 0) == 0;
  }

  TunerPtr tuner;
  std::unique_ptr<test::TunerTrace> trace;
};

struct Column {
  const char* test;
  Verdict PanelRow::*expected;
  std::function<bool(DefectMatrix&)> passes;
};

sim::PanelDefects open_tx(int t) {
  sim::PanelDefects d;
  d.open_tx = t;
  return d;
}
sim::PanelDefects dip_rx(int r) {
  sim::PanelDefects d;
  d.dip_rx = r;
  return d;
}
sim::PanelDefects short_rx(int r) {
  sim::PanelDefects d;
  d.short_rx = r;
  return d;
}
sim::PanelDefects noisy(int t, int r, int noise) {
  sim::PanelDefects d;
  d.noisy_tx = t;
  d.noisy_rx = r;
  d.noise = noise;
  return d;
}
sim::PanelDefects spike(int t, int r, int height) {
  sim::PanelDefects d;
  d.spike_tx = t;
  d.spike_rx = r;
  d.spike = height;
  return d;
}
sim::PanelDefects dead_chip(int chip) {
  sim::PanelDefects d;
  d.dead_chip = chip;
  return d;
}

TEST_F(DefectMatrix, EachTestFindsTheDefectsItExistsToFind) {
  // clang-format off
  const PanelRow rows[] = {
      //  panel          defects              open short mutual sens1 sens2 sens3 sens4 scaled  L2
      {"clean",        {},                   P,   P,    P,     P,    P,    P,    P,    P,      P},
      {"open Tx line", open_tx(3),           F,   P,    F,     F,    P,    F,    P,    F,      P},
      {"dip",          dip_rx(5),            F,   P,    P,     P,    P,    P,    P,    P,      P},
      {"short",        short_rx(3),          P,   F,    P,     P,    F,    P,    F,    P,      F},
      {"noisy node",   noisy(5, 10, 380),    P,   P,    F,     P,    P,    F,    P,    F,      F},
      {"noise spike",  spike(5, 10, 380),    P,   P,    P,     P,    P,    P,    P,    P,      F},
      {"dead chip",    dead_chip(1),         F,   P,    P,     F,    P,    P,    P,    P,      P},
  };
  // clang-format on
  const Column columns[] = {
      {"open test", &PanelRow::open,
       [](DefectMatrix& m) { return m.tuner_pass(tuner_open_test(*m.tuner, 800, 800, 2000, 300, 300, 100, 100)); }},
      {"short test", &PanelRow::short_test, [](DefectMatrix& m) { return m.tuner_pass(tuner_short_test(*m.tuner)); }},
      {"mutual cap test", &PanelRow::mutual_cap,
       [](DefectMatrix& m) { return m.tuner_pass(tuner_mutual_cap_test(*m.tuner)); }},
      {"sensor test 1", &PanelRow::sensor1, [](DefectMatrix&) { return run_sensor_test(0, 0, 0, 0, 800, 0, 1) == 0; }},
      {"sensor test 2", &PanelRow::sensor2, [](DefectMatrix&) { return run_sensor_test(0, 0, 0, 1, 30, 0, 1) == 0; }},
      {"sensor test 3", &PanelRow::sensor3, [](DefectMatrix&) { return run_sensor_test(0, 0, 0, 2, 20, 0, 1) == 0; }},
      {"sensor test 4", &PanelRow::sensor4, [](DefectMatrix&) { return run_sensor_test(0, 0, 0, 3, 100, 0, 1) == 0; }},
      {"scaled mutual cap", &PanelRow::scaled_mutual_cap, [](DefectMatrix& m) { return m.scaled_mutual_cap_pass(); }},
      {"L2 test", &PanelRow::l2, [](DefectMatrix& m) { return m.l2_pass(); }},
  };
  for (const PanelRow& row : rows) {
    defects(row.defects);
    std::string got, want;
    for (const Column& column : columns) {
      const bool pass = column.passes(*this);
      got += pass ? 'P' : 'F';
      want += static_cast<char>(row.*column.expected);
      EXPECT_EQ(pass ? P : F, row.*column.expected) << row.panel << ", " << column.test;
    }
    take_log();
    EXPECT_EQ(got, want) << row.panel;
  }
}

}  // namespace
}  // namespace tmode
