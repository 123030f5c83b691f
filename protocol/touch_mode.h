// Reading and switching the controller's touch mode ('?','e').
#pragma once

#include <cstdint>

namespace tmode {

// The current mode into out[0]. 1 on success, -1 on any failure.
int get_touch_mode(int reserved1, int reserved2, uint8_t* out);

// Prepares a switch, then switches to the mode's low 8 bits. A prepare that
// gets no answer does not stop the switch; a wrong answer does. 0 or -1.
int set_touch_mode(int reserved1, int reserved2, int mode);

}  // namespace tmode
