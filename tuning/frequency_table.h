// The tables of candidate working frequencies: (clock divider n, prescaler
// p) pairs, one table per Cpu_Speed, each from the highest frequency down.
#pragma once

#include <cstdint>

namespace tmode {

struct Tuner;

struct FrequencyEntry {
  uint8_t divider;    // n
  uint8_t prescaler;  // p
};

// The table for a Cpu_Speed byte and its size.
const FrequencyEntry* frequency_table(uint8_t cpu_speed, int* size);

// base / ((6 n + c) p) in kHz, base and c by the tuner's Cpu_Speed.
double frequency_khz(const Tuner& tuner, int n, int p);

// Makes the tuner's active table the Cpu_Speed table's entries at the tuning
// file's WorkingFreq indices (each index past the given ones is the previous
// + 1), NumsOfFreq entries, and StartOfFreq 0. 1; 0, with the active table
// unchanged, when an index lies past the Cpu_Speed table.
int register_file_frequencies(Tuner& tuner);

// The active table: the one register_file_frequencies built, else the
// Cpu_Speed table.
const FrequencyEntry* active_frequency_table(const Tuner& tuner, int* size);

}  // namespace tmode
