#include "link/discovery.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "link/link_session.h"
#include "link/node_access.h"

namespace tmode {

const char* const kProductNames[kProductNameCount] = {
    "PLVX",  // bare series prefix: also matches names without a brand word
    "Plovex Touch",
    "PlovexTouch",
    "PLOVEX",
    "Plovex Corp.",
    "Plovex Technology Co., Ltd.",
    "Plovex TouchScreen Controller",
    "Plovex USB Touch Panel",
    "Plovex HID Digitizer",
    "Plovex Capacitive Touch",
    "Plovex Interactive Display",
    "PLVX-6300 Multi-Touch",
    "PLVX-7300 HID",
    "PLVX-8200",
    "PLVX Series Projected Capacitive Multi-Touch Controller",
    "Tev",  // brand word of the second panel vendor
    "TEV",
};

namespace {

void store_path(const char* path, char* out_path) {
  LinkSession& link = link_session();
  std::snprintf(link.device_path, sizeof link.device_path, "%s", path);
  std::snprintf(out_path, kDevicePathSize, "%s", path);
}

bool name_is_supported(const char* name) {
  for (const char* fragment : kProductNames) {
    if (std::strstr(name, fragment) != nullptr) return true;
  }
  return false;
}

void scan_hidraw_nodes(char* out_path) {
  const NodeAccess& io = node_access();
  for (int n = 0; n < kHidrawScanCount; ++n) {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/hidraw%d", n);
    if (io.access_node(path, F_OK) != 0) continue;
    if (probe_hidraw_node(path) == 0) {
      ++link_session().device_count;
      store_path(path, out_path);
    }
  }
}

}  // namespace

int set_device_path(const char* path, int length) {
  if (length < 0 || length > kDevicePathSize - 1) return 0;
  char* field = link_session().device_path;
  std::memcpy(field, path, static_cast<size_t>(length));
  std::memset(field + length, 0, static_cast<size_t>(kDevicePathSize - length));
  return 1;
}

int discover_device(char* out_path) {
  // Each discovery counts afresh: a count left from an earlier scan must not
  // report a device that is gone.
  link_session().device_count = 0;
  scan_hidraw_nodes(out_path);
  probe_i2c_node(out_path);
  return static_cast<int>(link_session().device_count);
}

int probe_hidraw_node(const char* path) {
  const NodeAccess& io = node_access();
  const int fd = io.open_node(path, O_RDWR);
  if (fd < 0) return -1;

  int result = -1;
  hidraw_devinfo info{};
  if (io.query_raw_info(fd, &info) >= 0) {
    const uint16_t vendor = static_cast<uint16_t>(info.vendor);
    if (vendor == kVendorPlovex || vendor == kVendorTevlin) {
      // The ioctl may fill all 64 bytes without a terminator.
      char name[65] = {};
      if (io.query_raw_name(fd, name, 64) < 0) {
        result = 0;  // accepted on the vendor id alone
      } else {
        name[64] = '\0';
        if (name_is_supported(name)) result = 0;
      }
    }
  }
  io.close_node(fd);
  return result;
}

int probe_i2c_node(char* out_path) {
  if (node_access().access_node(kI2cNodePath, F_OK) != 0) return 0;
  ++link_session().device_count;
  store_path(kI2cNodePath, out_path);
  return 1;
}

int connect_unix_socket(const char* path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // A path the address cannot hold would connect a different, cut name.
  if (path == nullptr || std::strlen(path) >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path, std::strlen(path));

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  (void)::setsockopt(fd, 6 /* IPPROTO_TCP */, 1 /* TCP_NODELAY */, &one, sizeof one);
  return fd;
}

int connect_daemon_socket() { return connect_unix_socket(node_access().daemon_socket_path); }

int query_hid_product_kind(int fd) {
  hidraw_devinfo info{};
  if (node_access().query_raw_info(fd, &info) < 0) return 0;
  const uint16_t vendor = static_cast<uint16_t>(info.vendor);
  const uint16_t product = static_cast<uint16_t>(info.product);
  if (vendor != kVendorPlovex || (product & 0xFF00) != 0x6100) return 0;
  return product == 0x61FE ? 1 : 2;
}

}  // namespace tmode
