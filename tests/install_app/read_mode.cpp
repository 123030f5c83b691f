// A small application of the installed library: opens a link to the node
// named on the command line and prints the touch mode in force.
#include <tmode/tmode.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s NODE\n", argv[0]);
    return 2;
  }
  if (tmode::set_device_path(argv[1], static_cast<int>(std::strlen(argv[1]))) != 1 ||
      tmode::open_link(0, 0, 1) <= 0) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  uint8_t mode = 0;
  const int read = tmode::get_touch_mode(0, 0, &mode);
  tmode::close_link(0, 0);
  if (read != 1) {
    std::fprintf(stderr, "no touch mode\n");
    return 1;
  }
  std::printf("touch mode %d\n", mode);
  return 0;
}
