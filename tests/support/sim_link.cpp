#include "tests/support/sim_link.h"

#include <time.h>

#include <cstring>

#include "diagnostics/open_short_tests.h"
#include "link/discovery.h"
#include "link/link.h"

namespace tmode::test {

void SimLinkTest::SetUp() {
  // A frame an earlier test's stream completed would be handed to this
  // test's first frame read as if just read.
  clear_tuner_frame_flags();
  ASSERT_TRUE(sim.start_pty());
  if (open_in_setup) open_on_sim();
}

void SimLinkTest::open_on_sim() {
  const std::string& path = sim.pty_path();
  ASSERT_EQ(set_device_path(path.c_str(), static_cast<int>(path.size())), 1);
  ASSERT_GT(open_link(0, 0, 1), 0);
}

void SimLinkTest::TearDown() {
  close_link(0, 0);
  sim.stop();
}

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

double process_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace tmode::test
