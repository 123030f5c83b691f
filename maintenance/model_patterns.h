// The two pattern lists that turn the controller's model name, or failing
// that its type name, into the model code. Rows are searched in order; a
// pattern that contains an earlier row's pattern would never be reached, so
// longer model numbers come before their shorter prefixes.
#pragma once

#include <span>

namespace tmode {

inline constexpr int kMaxRowPatterns = 7;

struct PatternRow {
  int code;
  int count;  // patterns used
  const char* patterns[kMaxRowPatterns];
};

// 47 rows, matched against the model name.
std::span<const PatternRow> model_name_rows();
// 41 rows, matched against the type name.
std::span<const PatternRow> type_name_rows();

}  // namespace tmode
