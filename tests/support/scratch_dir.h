// A fresh directory per test for the files the library reads and writes,
// removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmode::test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes the directory the current one for its lifetime.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::string previous_;
};

void write_file(const std::string& path, const std::string& content);
void write_file(const std::string& path, const std::vector<uint8_t>& content);
std::string read_file(const std::string& path);
std::vector<uint8_t> read_bytes(const std::string& path);
bool file_exists(const std::string& path);

// A file of the source tree's tests/data directory.
std::string test_data(const std::string& name);

}  // namespace tmode::test
