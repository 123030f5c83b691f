// The report handlers of the mutual-capacitance tests and the sensor tests,
// run on the reader thread while their operation has them registered. Each
// checks lines, channels and lengths from the wire against the collection
// the operation prepared in the library state before registering it.
#pragma once

#include <cstdint>

namespace tmode {

// Sensor test 1 ('?','S' kinds 0 and 0x80), test 2 (kinds 1 and 0x81) and
// the node data of tests 3 and 4 (kind 2).
void sensor_test1_report(int reserved, int size, const uint8_t* report);
void sensor_test2_report(int reserved, int size, const uint8_t* report);
void sensor_node_report(int reserved, int size, const uint8_t* report);

// fetch_test_raw: 'J' frame lines, and the node reports of models 10 to 13
// ('?','S' kind 8).
void raw_fetch_frame_report(int reserved, int size, const uint8_t* report);
void raw_fetch_node_report(int reserved, int size, const uint8_t* report);

// l2_mutual_cap_test: the saturation L2 frame's 'J' lines.
void l2_frame_report(int reserved, int size, const uint8_t* report);

}  // namespace tmode
