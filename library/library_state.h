// The library's single process-wide state, reached directly by every
// operation. Zero (descriptors -1) at program start and never freed.
//
// Each subsystem declares its own part beside its code and reaches it
// through its own accessor (link_session(), protocol_state(), ...), so that
// no layer includes a header of a layer above it. Only code above every
// subsystem (the programs, tests, benchmarks) names the whole.
#pragma once

#include "diagnostics/diagnostics_state.h"
#include "link/link_session.h"
#include "maintenance/maintenance_state.h"
#include "protocol/protocol_state.h"
#include "tuning/tuning_state.h"

namespace tmode {

struct LibraryState : ProtocolState, MaintenanceState, TuningState, DiagnosticsState {
  LinkSession link;
};

extern LibraryState library;

}  // namespace tmode
