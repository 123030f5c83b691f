// The tool's usage and version texts.
#pragma once

namespace tmodectl {

inline constexpr const char* kToolVersion = "v1.02_20160705";
inline constexpr const char* kApiLibraryVersion = "v1.0.44.0701";

void print_usage();
void print_version();

}  // namespace tmodectl
