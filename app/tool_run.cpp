#include "app/tool_run.h"

#include <cstdio>
#include <cstring>

#include "app/controller_steps.h"
#include "app/tool_options.h"
#include "app/tool_texts.h"
#include "link/discovery.h"
#include "link/link.h"

namespace tmodectl {

int run_tool(int argc, char** argv) {
  ToolOptions& options = tool_options;
  reset_options(options);
  parse_options(options, argc, argv);

  if (options.show_help) {
    print_usage();
    return 0;
  }
  if (options.show_version) {
    print_version();
    return 0;
  }

  uint32_t status = 0;
  if (options.device_path[0] != '\0') {
    tmode::set_device_path(options.device_path,
                           static_cast<int>(std::strlen(options.device_path)));
  } else if (tmode::discover_device(options.device_path) == 0) {
    std::puts("(E) No device found!");
    status |= kStatusNoDevice;
    return static_cast<int>(status);
  }

  if (tmode::open_link(0, 0, 1) <= 0) {
    std::printf("(E) Open device %s error!\n", options.device_path);
    status |= kStatusOpenFailed;
    return static_cast<int>(status);
  }

  status |= run_controller_steps(options);
  tmode::close_link(0, 0);
  return static_cast<int>(status);
}

}  // namespace tmodectl
