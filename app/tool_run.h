#pragma once

namespace tmodectl {

// One run of the tool; returns the exit-status bits.
int run_tool(int argc, char** argv);

}  // namespace tmodectl
