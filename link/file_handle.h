// An owned FILE: closed when the handle goes, on every path out of an
// operation. Files are opened and closed within one operation.
#pragma once

#include <cstdio>
#include <memory>

namespace tmode {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

using FileHandle = std::unique_ptr<FILE, FileCloser>;

}  // namespace tmode
