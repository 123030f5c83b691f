// What one run of the tool does with the open controller.
#pragma once

#include <cstdint>

#include "app/tool_options.h"

namespace tmodectl {

inline constexpr uint32_t kStatusNoDevice = 1u << 0;
inline constexpr uint32_t kStatusOpenFailed = 1u << 1;
inline constexpr uint32_t kStatusGetModeFailed = 1u << 2;
inline constexpr uint32_t kStatusSetModeFailed = 1u << 3;

// "Controller Info:" and the type name, model name and firmware version.
void print_controller_info();

// The information block, then the mode read (-g), then the switch (-s).
// Returns the status bits these steps set (4 and 8).
uint32_t run_controller_steps(const ToolOptions& options);

}  // namespace tmodectl
