#include "tests/support/steady_panel.h"

#include "library/library_state.h"

namespace tmode::test {

void tune_to_unit_gain(sim::ControllerState& s) {
  for (auto& chip : s.registers.chips) {
    chip[3] = 16;
    chip[7] = 0xF8;
    chip[8] = 128;
    chip[11] = 0;
    chip[13] = 0;
    chip[144] = 60;
  }
  s.stream.frame_limit = 1;
}

void SteadyPanelTest::SetUp() {
  SimLinkTest::SetUp();
  sim.update(tune_to_unit_gain);
  tuner = create_tuner();
  describe_sim_panel(tuner->config.bytes);
  describe_sim_panel(tuner->hardware_block + hw::kSensorConfiguration);
  trace = std::make_unique<TunerTrace>(*tuner);
  library.frame.extra_lines = 2;
}

}  // namespace tmode::test
