// The library writes its records and dumps to log files named relative to
// the working directory ("Log.csv" until a log prefix is set). tmode runs
// such operations inside a private scratch directory and takes the text
// back from there, so that it can print it, parse it or append it to the
// file the user named, and leaves no stray "Log.csv" behind.
#pragma once

#include <string>
#include <vector>

namespace tmode::cli {

class ScratchLogs {
 public:
  // Creates the directory and makes it the working directory.
  ScratchLogs();
  // Goes back to the directory of before and removes the scratch one.
  ~ScratchLogs();
  ScratchLogs(const ScratchLogs&) = delete;
  ScratchLogs& operator=(const ScratchLogs&) = delete;

  // Whether the directory could be made and entered; when it could not,
  // after "tmode: COMMAND: cannot make a scratch directory for the
  // library's logs: reason" on standard error.
  bool ready_for(const char* command) const;
  // What the library wrote to "Log.csv" since the last take; the file is
  // removed.
  std::string take();

 private:
  bool ready_ = false;
  int previous_dir_ = -1;
  std::string dir_;
};

// The lines of a log text, without their "\n" or "\r\n" ends.
std::vector<std::string> log_lines(const std::string& text);

bool starts_with(const std::string& text, const char* head);

// Writes `text` to the file at `path`, appended or replacing it; false
// after "tmode: PATH: reason" on standard error.
bool write_text_file(const std::string& path, const std::string& text, bool append);

// A path as seen from the working directory of now, so that it stays right
// after a change of directory.
std::string absolute_path(const std::string& path);

}  // namespace tmode::cli
