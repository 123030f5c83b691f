// Which panel defects the bias and stable tests catch: every panel against
// both tests, each cell pass or fail.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "diagnostics/bias_test.h"
#include "diagnostics/stable_test.h"
#include "tests/support/steady_panel.h"

namespace tmode {
namespace {

enum Cell { kPass, kFail };

struct Panel {
  const char* name;
  void (*defect)(sim::PanelDefects&);
  Cell bias, stable;
};

// The defects sit on the last driving line (the one the stable test scans)
// and on a sensing line of chip 0 (the chip it reads).
const Panel kPanels[] = {
    {"clean", [](sim::PanelDefects&) {}, kPass, kPass},
    {"open line", [](sim::PanelDefects& d) { d.open_rx = 5; }, kPass, kPass},
    {"dip", [](sim::PanelDefects& d) { d.dip_rx = 5; }, kPass, kPass},
    {"short", [](sim::PanelDefects& d) { d.short_rx = 5; }, kPass, kPass},
    {"noisy node",
     [](sim::PanelDefects& d) {
       d.noisy_tx = 15;
       d.noisy_rx = 5;
       d.noise = 80;
     },
     kFail, kFail},
    {"noise spike", [](sim::PanelDefects& d) { d.sample_spike = {15, 5, 400, 4}; }, kFail, kFail},
    {"dead chip", [](sim::PanelDefects& d) { d.dead_chip = 1; }, kPass, kFail},
};

void PrintTo(const Panel& panel, std::ostream* out) { *out << panel.name; }

class BiasStabilityMatrix : public test::SteadyPanelTest, public ::testing::WithParamInterface<Panel> {
 protected:
  void SetUp() override {
    SteadyPanelTest::SetUp();
    tuner->bias.repeat_count = 4;
    tuner->bias.threshold = 5;
    tuner->stable.first_rx = 0;
    tuner->stable.last_rx = 13;
    tuner->stable.threshold = 50;
    const Panel& panel = GetParam();
    sim.update([&](sim::ControllerState& s) { panel.defect(s.panel.defects); });
  }
};

TEST_P(BiasStabilityMatrix, EachCell) {
  const Panel& panel = GetParam();
  EXPECT_EQ(hw_bias_test(*tuner), panel.bias == kPass ? 0 : -1) << panel.name << ": bias";
  EXPECT_EQ(single_end_stable_test(*tuner), panel.stable == kPass ? 0 : -1) << panel.name << ": stable";
}

INSTANTIATE_TEST_SUITE_P(Panels, BiasStabilityMatrix, ::testing::ValuesIn(kPanels),
                         [](const ::testing::TestParamInfo<Panel>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (c == ' ') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace tmode
