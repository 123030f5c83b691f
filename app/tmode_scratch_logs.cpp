#include "app/tmode_scratch_logs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tmode::cli {

namespace {

constexpr char kLibraryLog[] = "Log.csv";

}  // namespace

ScratchLogs::ScratchLogs() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/tmode-logs-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return;
  dir_ = pattern;
  previous_dir_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ready_ = previous_dir_ >= 0 && ::chdir(dir_.c_str()) == 0;
}

ScratchLogs::~ScratchLogs() {
  if (previous_dir_ >= 0) {
    if (ready_) {
      std::remove(kLibraryLog);
      if (::fchdir(previous_dir_) != 0) std::perror("tmode: back to the working directory");
    }
    ::close(previous_dir_);
  }
  if (!dir_.empty()) ::rmdir(dir_.c_str());
}

bool ScratchLogs::ready_for(const char* command) const {
  if (!ready_) {
    std::fprintf(stderr, "tmode: %s: cannot make a scratch directory for the library's logs: %s\n", command,
                 std::strerror(errno));
  }
  return ready_;
}

std::string ScratchLogs::take() {
  std::string text;
  if (!ready_) return text;
  if (FILE* file = std::fopen(kLibraryLog, "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    std::remove(kLibraryLog);
  }
  return text;
}

std::vector<std::string> log_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool starts_with(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

bool write_text_file(const std::string& path, const std::string& text, bool append) {
  FILE* file = std::fopen(path.c_str(), append ? "ab" : "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written) std::fprintf(stderr, "tmode: %s: %s\n", path.c_str(), std::strerror(errno));
  return written;
}

std::string absolute_path(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char* cwd = ::getcwd(nullptr, 0);
  if (cwd == nullptr) return path;
  std::string full = std::string(cwd) + "/" + path;
  std::free(cwd);
  return full;
}

}  // namespace tmode::cli
