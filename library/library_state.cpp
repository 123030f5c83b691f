#include "library/library_state.h"

namespace tmode {

LibraryState library;

LinkSession& link_session() { return library.link; }
ProtocolState& protocol_state() { return library; }
MaintenanceState& maintenance_state() { return library; }
TuningState& tuning_state() { return library; }
DiagnosticsState& diagnostics_state() { return library; }

}  // namespace tmode
