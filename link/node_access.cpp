#include "link/node_access.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tmode {

static_assert(HIDIOCGRAWINFO == 0x80084803u);
static_assert(HIDIOCGRAWNAME(64) == 0x80404804u);

namespace {

int system_access(const char* path, int mode) { return ::access(path, mode); }
int system_open(const char* path, int flags) { return ::open(path, flags | O_CLOEXEC); }
int system_close(int fd) { return ::close(fd); }
int system_raw_info(int fd, hidraw_devinfo* info) { return ::ioctl(fd, HIDIOCGRAWINFO, info); }
int system_raw_name(int fd, char* name, int length) {
  return ::ioctl(fd, HIDIOCGRAWNAME(length), name);
}

const NodeAccess kSystem = {system_access, system_open,     system_close,
                            system_raw_info, system_raw_name, kDaemonSocketPath};
const NodeAccess* current = &kSystem;

}  // namespace

const NodeAccess& system_node_access() { return kSystem; }
const NodeAccess& node_access() { return *current; }
void set_node_access(const NodeAccess* access) { current = access ? access : &kSystem; }

}  // namespace tmode
