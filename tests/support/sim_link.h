// A simulated controller on a pty with the library's link open on it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/simulator.h"

namespace tmode::test {

class SimLinkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the link on the simulator's pty (SetUp does so unless told not to).
  void open_on_sim();

  sim::Simulator sim;
  bool open_in_setup = true;
};

// Bytes from a list of small integers, for readable expectations.
std::vector<uint8_t> bytes(std::initializer_list<int> values);

class Stopwatch {
 public:
  double ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// CPU time this process has used, in milliseconds.
double process_cpu_ms();

}  // namespace tmode::test
