#include "tests/support/fake_nodes.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/node_access.h"

namespace tmode::test {

namespace {

FakeNodes* active = nullptr;
NodeAccess table;
constexpr int kFirstFakeFd = 900;

FakeNode* by_path(const char* path) {
  for (FakeNode& node : active->nodes) {
    if (node.path == path) return &node;
  }
  return nullptr;
}

FakeNode* by_fd(int fd) {
  const int index = fd - kFirstFakeFd;
  if (index < 0 || index >= static_cast<int>(active->nodes.size())) return nullptr;
  return &active->nodes[static_cast<size_t>(index)];
}

int fake_access(const char* path, int) {
  active->accessed.emplace_back(path);
  return by_path(path) ? 0 : -1;
}

int fake_open(const char* path, int) {
  FakeNode* node = by_path(path);
  if (node == nullptr || !node->openable) {
    errno = ENOENT;
    return -1;
  }
  ++active->opened;
  return kFirstFakeFd + static_cast<int>(node - active->nodes.data());
}

int fake_close(int fd) {
  ++active->closed;
  return by_fd(fd) ? 0 : -1;
}

int fake_raw_info(int fd, hidraw_devinfo* info) {
  FakeNode* node = by_fd(fd);
  if (node == nullptr || !node->info_ok) return -1;
  info->bustype = 3;
  info->vendor = static_cast<int16_t>(node->vendor);
  info->product = static_cast<int16_t>(node->product);
  return 0;
}

int fake_raw_name(int fd, char* name, int length) {
  FakeNode* node = by_fd(fd);
  if (node == nullptr || !node->name_ok) return -1;
  // Like the kernel: up to `length` bytes, no terminator when the name fills them.
  const size_t n = node->name.size() < static_cast<size_t>(length) ? node->name.size() + 1
                                                                   : static_cast<size_t>(length);
  std::memcpy(name, node->name.c_str(), n);
  return static_cast<int>(n);
}

}  // namespace

FakeNodes::FakeNodes() {
  active = this;
  table = NodeAccess{fake_access, fake_open, fake_close, fake_raw_info, fake_raw_name, nullptr};
  table.daemon_socket_path = daemon_path.c_str();
  set_node_access(&table);
}

void FakeNodes::set_daemon_socket_path(std::string path) {
  daemon_path = std::move(path);
  table.daemon_socket_path = daemon_path.c_str();
}

FakeNodes::~FakeNodes() {
  set_node_access(nullptr);
  active = nullptr;
}

FakeNode supported_hidraw(int number) {
  FakeNode node;
  node.path = "/dev/hidraw" + std::to_string(number);
  node.vendor = 0x2B9D;
  node.product = 0x6101;
  node.name = "Plovex Touch 6300";
  return node;
}

}  // namespace tmode::test
