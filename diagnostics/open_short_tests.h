// The open and short tests: the Tuner generation, which reads its own frames
// and writes to the Tuner's log stream with "\n" line ends, and the
// sensor-test generation, which judges tables already in LibraryState and
// writes its block to the main log with "\r\n".
#pragma once

#include <cstdint>

#include "diagnostics/data_words.h"
#include "tuning/tuner.h"

namespace tmode {

// The Tuner's Tx and Rx totals; false when either is not positive or the
// frame with its extra lines does not fit the 132 x 172 tables.
bool tuner_totals(const Tuner& tuner, int* tx_total, int* rx_total);

// The 'J' handler of read_tuner_frame (reader thread): the frame into the
// staging table of the tuner-frame capture, whose totals are set first.
void tuner_frame_handler(int key, int size, const uint8_t* report);

// Reads one frame of the data word into the tuner's raw table (Tx lines at
// their rows). 1 when a complete frame arrived (or both ready flags were
// still set from an earlier call), else 0.
int read_tuner_frame(Tuner& tuner, int reserved, uint16_t word);

// The Tuner's driving and receive line totals; false when they do not fit
// the frame tables.
bool tuner_totals(const Tuner& tuner, int* tx_total, int* rx_total);

// Selects the data word with the Tuner's 'J' handler registered, waits up to
// polls x 100 ms for both ready flags, stops the stream with 0x8000, removes
// the handler and copies what arrived into the raw table. 1 when a complete
// frame arrived, 0 when it did not; -1 when the word could not be selected
// (then nothing is waited for, stopped or copied).
int collect_tuner_frame(Tuner& tuner, uint16_t word, int polls);

// Clears both frame-ready flags.
void clear_tuner_frame_flags();

// 1 when channel i (an Rx channel when n is rx_total, a Tx channel when n is
// tx_total) reads lower than a neighbour by more than the limit at either
// end of the sensor, both values being below the option threshold.
int check_edge_difference(const int16_t (*table)[172], int option_threshold, int i, int n, int diff_threshold,
                          int edge_tolerance);

// The '?','S' handler of the short test (reader thread): kind 1 reports
// fill the Rx bytes, kind 0x81 the Tx bytes, an end report (length 3, kind
// 0x81) sets the done flag. A channel beyond its table (131 for Tx, 171 for
// Rx) and any other report are ignored.
void short_test_report_handler(int reserved, int size, const uint8_t* report);

// 1 pass, 0 fail.
int tuner_open_test(Tuner& tuner, int tx_threshold, int rx_threshold, int option_threshold, int diff_tx,
                    int diff_rx, int edge_tx, int edge_rx);
int tuner_short_test(Tuner& tuner);

// 0 pass, -1 fail.
int evaluate_open_test(int reserved1, int reserved2, int tx_threshold, int rx_threshold, int option_threshold,
                       int diff_tx, int diff_rx, int edge_tx, int edge_rx);
int evaluate_short_test(int threshold);

// The open-scaling word applied to a raw value: bit 15 set s x raw / 10,
// clear raw x 10 / s, s = 0 raw; kept as 16 bits.
int16_t apply_open_scaling(uint16_t word, int raw);

}  // namespace tmode
