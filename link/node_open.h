// Opening the node a link was given, by the kind of node it is.
#pragma once

namespace tmode {

inline constexpr int kNodeMissing = -1;  // could not be opened: fall back to the daemon
inline constexpr int kNodeRefused = -2;  // exists but is no controller node

// Opens path as the link's node. A character device is opened read-write,
// non-blocking, close-on-exec and without becoming the controlling tty; a
// Unix socket is connected as the daemon's socket is, and is_socket set.
// Anything else that exists (a regular file, a FIFO, a directory, a block
// device) is refused without a byte written. Returns the descriptor,
// kNodeMissing or kNodeRefused.
int open_link_node(const char* path, bool& is_socket);

}  // namespace tmode
