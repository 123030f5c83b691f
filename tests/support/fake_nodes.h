// Fake hidraw and I2C nodes for discovery tests: while a FakeNodes lives, the
// library's node access table answers from it instead of the system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmode::test {

struct FakeNode {
  std::string path;
  bool openable = true;
  bool info_ok = true;
  uint16_t vendor = 0;
  uint16_t product = 0;
  bool name_ok = true;
  std::string name = {};  // what HIDIOCGRAWNAME delivers (up to its length, unterminated when full)
};

class FakeNodes {
 public:
  FakeNodes();
  ~FakeNodes();
  FakeNodes(const FakeNodes&) = delete;
  FakeNodes& operator=(const FakeNodes&) = delete;

  void add(FakeNode node) { nodes.push_back(std::move(node)); }
  void set_daemon_socket_path(std::string path);

  std::vector<FakeNode> nodes;
  std::vector<std::string> accessed;  // every path given to access()
  int opened = 0;
  int closed = 0;
  std::string daemon_path = "/nonexistent/tmode-test-socket";
};

// A plovex hidraw node that discovery accepts.
FakeNode supported_hidraw(int number);

}  // namespace tmode::test
