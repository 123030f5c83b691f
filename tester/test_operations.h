// The sensor tester's test runs: each creates its Tuner, prepares it, loads
// the hardware parameters from the controller, keeps the main log open as
// the Tuner's log while its tests run, and destroys the Tuner on every path.
// The two leading arguments are reserved.
//
// When the hardware parameters cannot be loaded they print "Load hardware
// parameter fail!", run no test and return their initial result: -1 for
// run_calibration_tests, 0 for the others.
#pragma once

namespace tmode {

// The six values of the open test, in the order tuner_open_test takes its
// seven thresholds. The test judges each side by its own threshold and its
// own neighbour difference, so those come in pairs; the one value left is
// the edge tolerance, which serves the Tx and the Rx side alike. It is the
// least of the three: it only widens the limit towards the outermost
// channel of a side, and the older log block of the open test shows no
// edge tolerance at all, only Tx and Rx difference thresholds.
struct OpenTestValues {
  int tx_threshold;
  int rx_threshold;
  int option_threshold;
  int diff_tx;
  int diff_rx;
  int edge_tolerance;
};

// Calibration (calibrate_and_store) on a Tuner made without a tuning file,
// then by the test bits: 0x80 the hardware bias test with bias_parameter as
// its threshold (percent) over 4 frames a phase, 0x800 the single-end stable test with
// stability_parameter as its threshold (largest span). 0 when the
// calibration passed and each test run passed, else -1.
int run_calibration_tests(int reserved1, int reserved2, int controller_level, int test_bits, int bias_parameter,
                          int stability_parameter, int preset_option, int tolerance);

// The tests the tuning file's selection names (bit 0 open, bit 1 short, bit
// 2 mutual capacitance; all three unless the Tuner was told otherwise),
// then the raw dump. 0 when every test passed, else -1 and "Diagnostic test
// fail" (no line end).
int run_diagnostic_tests(int reserved1, int reserved2, const char* tuning_file, int open_test_channel,
                         const OpenTestValues& values);

// One test alone: 0 when it passed, -1 when it failed (0 also when the
// hardware parameters could not be loaded, as above).
int run_open_test(int reserved1, int reserved2, const char* tuning_file, int open_test_channel,
                  const OpenTestValues& values);
int run_short_test(int reserved1, int reserved2, const char* tuning_file, int short_test_argument);
// The argument and the three values are stored in the Tuner's
// mutual-capacitance fields; the raw dump follows the test.
int run_mutual_cap_test(int reserved1, int reserved2, const char* tuning_file, int mutual_cap_argument,
                        const int values[3]);

}  // namespace tmode
