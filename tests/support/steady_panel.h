// A simulated panel tuned to unit gain (node (t, r) of the raw frame reads
// 600 x (1 + 0.002 t + 0.002 r)), one frame per selected stream so that
// the noise defects change from one frame read to the next and not within
// one, and a Tuner that describes it with its trace.
#pragma once

#include <memory>
#include <string>

#include "sim/controller_state.h"
#include "tests/support/sim_link.h"
#include "tests/support/sim_panel_tuner.h"
#include "tuning/tuner.h"

namespace tmode::test {

// Every sensing chip's front end at factor 1: waveform peak 60, RS 15,
// GainA 8, GainB 16, CalVref 128, no delay range.
void tune_to_unit_gain(sim::ControllerState& s);

class SteadyPanelTest : public SimLinkTest {
 protected:
  void SetUp() override;
  std::string trace_text() { return trace->text(); }

  TunerPtr tuner;
  std::unique_ptr<TunerTrace> trace;
};

}  // namespace tmode::test
