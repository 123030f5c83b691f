// What the simulated firmware keeps for the register and test commands: the
// sensing chips' register files, scans, status values and report switches.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

namespace tmode::sim {

inline constexpr int kSimChips = 4;
inline constexpr uint8_t kAllChips = 255;  // '?','C' to chip 255 writes every chip

constexpr std::array<uint8_t, 256> filled(uint8_t value) {
  std::array<uint8_t, 256> a{};
  a.fill(value);
  return a;
}

struct RegisterState {
  std::array<std::array<uint8_t, 256>, kSimChips> chips{};  // '?','C' writes, the front end reads
  // What a scan wrote (rows, the calibration measurement): '?','B' reads it
  // until the library writes the address again.
  std::array<std::array<uint8_t, 256>, kSimChips> scanned{};
  std::array<std::bitset<256>, kSimChips> scan_written{};
  int scans = 0;  // '?','D'
  uint8_t scan_a = 0, scan_b = 0;
  uint8_t freq_index = 3;                  // '?','T'
  uint8_t status_bytes[2] = {0x00, 0x01};  // '?','N' reply bytes 4 and 5 ...
  uint16_t status_code = 0x0A0B;           // ... and 6 and 7
  bool status_long = true;                 // false: the reply stops after byte 5
  uint8_t touch_info = 0;                  // '?','i'
  int test_mode = -1;                      // '?','S'; no reply
  // '?','O', a sets clock divider a and answers values_4f[a], the byte that
  // holds the divider factor (bits 0 to 2; 0xE3: factor 3).
  std::array<uint8_t, 256> values_4f = filled(0xE3);
  std::array<uint8_t, 256> values_52{};    // '?','R', a answers values_52[a]
  uint8_t value_50 = 0x50;                 // '?','P'
  uint8_t select_5b = 0;                   // '?','['
  uint8_t pair_6a[2] = {};                 // '?','j'
  int count_6e = 0;                        // '?','n'
  std::vector<uint8_t> block_6b = {1, 2, 3, 4, 5, 6};  // '?','k', a answers a and these
};

}  // namespace tmode::sim
