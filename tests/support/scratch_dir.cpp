#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tmode::test {

ScratchDir::ScratchDir() {
  std::string pattern = ::testing::TempDir() + "tmode-files-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp " << pattern;
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

WorkingDirectory::WorkingDirectory(const std::string& path) {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path);
}

WorkingDirectory::~WorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

void write_file(const std::string& path, const std::vector<uint8_t>& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> read_bytes(const std::string& path) {
  const std::string text = read_file(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::string test_data(const std::string& name) { return std::string(TMODE_TEST_DATA_DIR) + "/" + name; }

}  // namespace tmode::test
