#include "app/controller_steps.h"

#include <cstdio>
#include <cstring>

#include "protocol/controller_info.h"
#include "protocol/touch_mode.h"

namespace tmodectl {

void print_controller_info() {
  char text[64];
  std::puts("Controller Info:");
  std::memset(text, 0, sizeof text);
  tmode::get_type_name(0, 0, text);
  std::printf("\tType Name:\t%s\n", text);
  std::memset(text, 0, sizeof text);
  tmode::get_model_name(0, 0, text);
  std::printf("\tModel Name:\t%s\n", text);
  std::memset(text, 0, sizeof text);
  tmode::get_firmware_version(0, 0, text);
  std::printf("\tFW Version:\t%s\n", text);
  std::putchar('\n');
  std::fflush(stdout);
}

uint32_t run_controller_steps(const ToolOptions& options) {
  uint32_t status = 0;
  uint8_t mode_buffer[64] = {};

  print_controller_info();

  if (options.get_mode) {
    if (tmode::get_touch_mode(0, 0, mode_buffer) == -1) {
      std::puts("(E) Get Touch Mode Fail");
      status |= kStatusGetModeFailed;
    } else {
      std::printf("Current Touch Mode:[Threshold-%d]\n", static_cast<int>(mode_buffer[0]));
    }
  }

  if (options.set_mode) {
    if (options.mode < 0) {
      std::puts("(E) Please select currect mode!");
      status |= kStatusSetModeFailed;
    } else if (tmode::set_touch_mode(0, 0, options.mode) == -1) {
      std::puts("(E) Set Touch Mode Fail");
      status |= kStatusSetModeFailed;
    } else {
      std::printf("Switch Touch Mode:[Threshold-%d] Success\n", options.mode);
    }
  }
  return status;
}

}  // namespace tmodectl
