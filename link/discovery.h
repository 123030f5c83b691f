// Finding the controller's device node, and the daemon socket fallback.
#pragma once

#include <cstdint>

namespace tmode {

inline constexpr uint16_t kVendorPlovex = 0x2B9D;
inline constexpr uint16_t kVendorTevlin = 0x04E7;
inline constexpr int kHidrawScanCount = 10;  // /dev/hidraw0 to /dev/hidraw9

// Stores an explicit node path. 1 when stored; 0 when length is negative
// or above 511 (device_path unchanged).
int set_device_path(const char* path, int length);

// Scans hidraw0..9, then the I2C node (which wins when present). Writes the
// chosen path into device_path and into out_path (512 bytes) and returns the
// number of nodes accepted; 0 leaves both paths untouched.
int discover_device(char* out_path);

// 0 when the hidraw node belongs to a supported controller, -1 otherwise.
int probe_hidraw_node(const char* path);

// Accepts the I2C node when it exists: 1 (and the path written), else 0.
int probe_i2c_node(char* out_path);

// Connects the controller daemon's Unix socket: the descriptor, or -1.
int connect_daemon_socket();

// Connects a Unix stream socket at path as the daemon's socket is
// connected: the descriptor, or -1 (also for a path of 108 bytes or more).
int connect_unix_socket(const char* path);

// Classifies an open hidraw node by its USB ids: 1 for the 0x61FE product,
// 2 for the rest of the 0x61xx family of vendor 0x2B9D, 0 otherwise.
int query_hid_product_kind(int fd);

// The product-name fragments a hidraw node's name must contain one of.
inline constexpr int kProductNameCount = 17;
extern const char* const kProductNames[kProductNameCount];

}  // namespace tmode
