// Bringing the link back after the controller restarted.
#pragma once

namespace tmode {

// Up to 3 attempts: close the link, wait 6 seconds, open it again on the
// same node (or the daemon socket) and, once open, wait 150 ms and check
// that the controller is ready. 0 when it is; -1 when the link was not open
// to begin with; otherwise the last attempt's failure.
int reconnect_link(int reserved1, int reserved2);

}  // namespace tmode
