#include "link/node_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "link/discovery.h"

namespace tmode {

int open_link_node(const char* path, bool& is_socket) {
  is_socket = false;
  const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd >= 0) {
    // The kind is read from the descriptor itself, so that the node cannot
    // be swapped between a check and the open.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode)) return fd;
    ::close(fd);
    return kNodeRefused;
  }

  struct stat info {};
  if (::stat(path, &info) != 0) return kNodeMissing;
  if (S_ISSOCK(info.st_mode)) {
    const int socket_fd = connect_unix_socket(path);
    if (socket_fd < 0) return kNodeMissing;
    is_socket = true;
    return socket_fd;
  }
  // A character device that would not open (permissions, gone) falls back
  // as before; anything else is no controller node.
  return S_ISCHR(info.st_mode) ? kNodeMissing : kNodeRefused;
}

}  // namespace tmode
