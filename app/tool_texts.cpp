#include "app/tool_texts.h"

#include <cstdio>

namespace tmodectl {

void print_usage() {
  std::puts("Usage:");
  std::puts("\t tmodectl [Options]");
  std::puts("\t -v \t\t show tool version.");
  std::puts("\t -p \t\t set device node path. ex: /dev/plovex_i2c , /dev/hidraw0 , /dev/ttyS0");
  std::puts("\t -g \t\t get touch mode.");
  std::puts("\t -s \t\t set touch mode.");
}

void print_version() {
  std::printf("Tool version:\t%s\nAPILIB version:\t%s\n", kToolVersion, kApiLibraryVersion);
}

}  // namespace tmodectl
