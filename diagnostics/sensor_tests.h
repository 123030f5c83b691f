// Sensor tests 1 to 4: the controller measures the sensor ('?','S' with a
// test mode), the library collects its reports, judges them and appends the
// block to the main log with "\r\n" line ends.
#pragma once

namespace tmode {

// Test numbers 0 to 3 run "SENSOR TEST 1" to "SENSOR TEST 4". The parameter
// goes to the controller with '6','O'. 0 pass; -1 fail, no end report within
// 10 seconds, a test number outside 0 to 3, a raw scaling of 0 (tests 1, 3
// and 4), or a sensor size that cannot be read or does not fit the tables
// (at most 132 Tx and 170 Rx lines); the stop commands are sent on every
// way out.
int run_sensor_test(int reserved1, int reserved2, int parameter, int test, int threshold, int corner_tolerance,
                    int raw_scaling);

// The judgements of the collected data, writing to the open main log (or
// only judging when it is not open). 0 pass, -1 fail or a raw scaling of 0.
int sensor_test_1(int threshold, int raw_scaling);
int sensor_test_3(int threshold, int corner_tolerance, int raw_scaling);
// Also closes the main log.
int sensor_test_4(int threshold, int raw_scaling);

}  // namespace tmode
