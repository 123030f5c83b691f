// The system calls discovery and probing make on device nodes, gathered in
// one table so that tests can stand fake hidraw nodes in for real ones.
// Production uses system_node_access(), which calls the system directly.
#pragma once

#include <linux/hidraw.h>

namespace tmode {

struct NodeAccess {
  int (*access_node)(const char* path, int mode);
  int (*open_node)(const char* path, int flags);
  int (*close_node)(int fd);
  int (*query_raw_info)(int fd, hidraw_devinfo* info);    // HIDIOCGRAWINFO
  int (*query_raw_name)(int fd, char* name, int length);  // HIDIOCGRAWNAME(length)
  const char* daemon_socket_path;
};

inline constexpr const char* kDaemonSocketPath = "/dev/socket/kalo_socket";
inline constexpr const char* kI2cNodePath = "/dev/plovex_i2c";

const NodeAccess& system_node_access();
const NodeAccess& node_access();
// Replaces the table; nullptr restores the system's.
void set_node_access(const NodeAccess* access);

}  // namespace tmode
