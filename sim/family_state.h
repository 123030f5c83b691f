// What the simulated firmware keeps for the plain controller commands: the
// two word stores, the 26-byte records, the level and feature payloads,
// state values, restarts and readiness.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace tmode::sim {

struct FamilyState {
  std::array<uint16_t, 256> store{};      // 'C' reads, 'B' writes
  std::array<uint16_t, 256> ext_store{};  // '6','F','z' reads, '6','G','z' writes
  std::array<std::array<uint8_t, 26>, 256> records{};  // '6','J' / '6','K'

  std::vector<uint8_t> level = {7, 0x02, 0x00, 0x00};  // '?','X' payload; byte 0 the level
  std::vector<uint8_t> features = std::vector<uint8_t>(24, 0);  // '6',0x14 payload
  uint8_t rx_channels = 28;  // '6',0x0F
  uint8_t tx_channels = 16;
  uint8_t state_byte = 0x01;     // '9',0
  uint16_t state_word = 0x0102;  // '9',2
  std::array<uint8_t, 256> value35{};   // '5', v answers value35[v], v
  std::array<uint8_t, 256> sub_flags{};  // '6', s, 0|1 (command_36_clear / _set)
  uint8_t hold_flag = 0;                // '6','I'
  std::vector<std::vector<uint8_t>> unanswered;  // '6','?' and ':',0xFF packets seen
  int report_id5_count = 0;

  // 'g' restarts the controller: '9',1 answers "not ready" until
  // ready_after_reset_ms have passed; with node_gone_ms of 0 or more the
  // node also closes after the reply and comes back that much later.
  int resets = 0;
  int ready_after_reset_ms = 0;
  std::chrono::steady_clock::time_point ready_at{};
  int node_gone_ms = -1;
};

}  // namespace tmode::sim
