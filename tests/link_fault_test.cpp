// The link against a controller that misbehaves on the wire.
#include <gtest/gtest.h>

#include <time.h>

#include "library/library_state.h"
#include "link/link.h"
#include "protocol/controller_info.h"
#include "protocol/touch_mode.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;
using test::Stopwatch;

class LinkFaults : public SimLinkTest {};

double reader_cpu_ms() {
  clockid_t clock;
  if (pthread_getcpuclockid(library.link.reader, &clock) != 0) return 0;
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

TEST_F(LinkFaults, TwoReportsInOneReadAreBothTaken) {
  // An event and the reply arrive in one read; the reply must not wait for
  // more bytes to come.
  sim.set_padding(false);
  sim::Fault fault;
  fault.class_byte = '?';
  fault.sub_byte = 'e';
  fault.same_write_before = bytes({0x03, 0x04, ';', 0x01, 0x02, 0x03});
  sim.add_fault(fault);
  uint8_t mode = 0xFF;
  Stopwatch watch;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), 1);
  EXPECT_LT(watch.ms(), 500);
}

TEST_F(LinkFaults, RemovedDeviceEndsTheReaderAndPinsNoCore) {
  uint8_t mode = 0xFF;
  ASSERT_EQ(get_touch_mode(0, 0, &mode), 1);
  sim.vanish();
  usleep(100000);
  const double before = test::process_cpu_ms();
  usleep(300000);
  EXPECT_LT(test::process_cpu_ms() - before, 15) << "a dead node must not be polled on";

  Stopwatch watch;
  EXPECT_EQ(get_touch_mode(0, 0, &mode), -1);
  EXPECT_LT(watch.ms(), 1000) << "writes fail at once: three attempts, two 100 ms pauses";
  EXPECT_EQ(close_link(0, 0), 0);
}

TEST_F(LinkFaults, ReaderThreadDoesNotSpinWhileIdle) {
  const double before = reader_cpu_ms();
  usleep(200000);
  EXPECT_LT(reader_cpu_ms() - before, 5);
}

}  // namespace
}  // namespace tmode
