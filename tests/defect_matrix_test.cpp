// Every diagnostic test against every simulated panel defect: a clean panel
// passes everything, and each defect fails the tests that exist to find it.
// A row per panel, a column per test; a new test is a new column (a field
// of PanelRow and an entry of columns). The columns run in order on one
// simulator per test, so the intermittent defects meet each test at a
// fixed sample.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "diagnostics/bias_test.h"
#include "diagnostics/mutual_cap_evaluation.h"
#include "diagnostics/open_short_tests.h"
#include "diagnostics/sensor_tests.h"
#include "diagnostics/stable_test.h"
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
  Verdict open, short_test, mutual_cap, sensor1, sensor2, sensor3, sensor4, scaled_mutual_cap, l2, bias, stable;
};

class DefectMatrix : public test::SensorTestBench {
 public:
  void SetUp() override {
    SensorTestBench::SetUp();
    tuner = test::create_sim_panel_tuner();
    trace = std::make_unique<test::TunerTrace>(*tuner);
    tuner->open_scaling = 10;
    tuner->params.short_test_threshold = 30;
    tuner->mutual_scaling = 0x800A;  // the raw values, unshifted
    tuner->frequency_blocks[0].bytes[18] = 0;
    tuner->frequency_blocks[0].bytes[freq::kImageScaling] = 5;
    tuner->mutual_cap_values[0] = 20;
    tuner->mutual_cap_argument = 1;  // one frame: the noisy node does not average out
    tuner->bias.repeat_count = 5;  // a raw frame at every sample of the spike's period
    tuner->bias.threshold = 5;
    tuner->stable.first_rx = 0;  // chip 0; the stable test scans the last driving line
    tuner->stable.last_rx = 13;
    tuner->stable.threshold = 50;
    // One frame a stream: a frame read meets the sample its stream starts
    // at, however long the library takes.
    sim.update([](sim::ControllerState& s) { s.stream.frame_limit = 1; });
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
  // The bias and stable tests program the chips' registers; they are put
  // back for the columns after them.
  bool registers_kept(int (*test)(Tuner&)) {
    sim::RegisterState before;
    sim.update([&](sim::ControllerState& s) { before = s.registers; });
    const int result = test(*tuner);
    sim.update([&](sim::ControllerState& s) { s.registers = before; });
    trace->text();
    return result == 0;
  }

  // Every column meets the noise defects from the first sample on, whatever
  // ran before it.
  void from_sample_zero() {
    sim.update([](sim::ControllerState& s) {
      s.registers.scans = 0;
      s.stream.selections = 0;
      s.stream.frames = 0;
    });
  }

  TunerPtr tuner;
  std::unique_ptr<test::TunerTrace> trace;
};

struct Column {
  const char* test;
  Verdict PanelRow::*expected;
  std::function<bool(DefectMatrix&)> passes;
};

using D = sim::PanelDefects;
using test::noisy_node;
using test::with;

TEST_F(DefectMatrix, EachTestFindsTheDefectsItExistsToFind) {
  // clang-format off
  // The defects of the bias and stable columns sit on the driving line the
  // stable test scans (15) or on a sensing line of the chip it reads (0).
  // The spike comes on the fifth sample (4, 9, ...): the columns that read
  // fewer samples never meet it; the L2 frame's extremes, the bias test's
  // five raw frames and the stable test's 100 scans always do.
  const D spike = [] { D d; d.sample_spike = {15, 5, 400, 5}; return d; }();
  const PanelRow rows[] = {
      // panel         defects                     open short mutual sens1 sens2 sens3 sens4 scaled L2 bias stable
      {"clean",        {},                         P,   P,    P,     P,    P,    P,    P,    P,     P, P,   P},
      {"open Tx line", with({{&D::open_tx, 3}}),   F,   P,    F,     F,    P,    F,    P,    F,     P, P,   P},
      {"open Rx line", with({{&D::open_rx, 5}}),   F,   P,    P,     F,    P,    P,    P,    P,     P, P,   P},
      {"dip",          with({{&D::dip_rx, 5}}),    F,   P,    P,     P,    P,    P,    P,    P,     P, P,   P},
      {"short",        with({{&D::short_rx, 3}}),  P,   F,    P,     P,    F,    P,    F,    P,     F, P,   P},
      {"noisy node",   noisy_node(15, 5, 380),     P,   P,    F,     P,    P,    F,    P,    F,     F, F,   F},
      {"noise spike",  spike,                      P,   P,    P,     P,    P,    P,    P,    P,     F, F,   F},
      {"dead chip",    with({{&D::dead_chip, 1}}), F,   P,    P,     F,    P,    P,    P,    P,     P, P,   F},
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
      {"bias test", &PanelRow::bias, [](DefectMatrix& m) { return m.registers_kept(hw_bias_test); }},
      {"stable test", &PanelRow::stable, [](DefectMatrix& m) { return m.registers_kept(single_end_stable_test); }},
  };
  for (const PanelRow& row : rows) {
    defects(row.defects);
    std::string got, want;
    for (const Column& column : columns) {
      from_sample_zero();
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
