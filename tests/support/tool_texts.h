// What tmodectl prints for the simulator's default controller.
#pragma once

#include <string>

namespace tmode::test {

inline const std::string kDefaultInfo =
    "Controller Info:\n"
    "\tType Name:\tPlovex PCT\n"
    "\tModel Name:\tPLVX-6300\n"
    "\tFW Version:\t6300.1.02\n"
    "\n";

}  // namespace tmode::test
