// The noise-spike defect: one node jumps by a large amount on one sample in
// every K (a scan or a selected frame stream), and reads normally otherwise.
#pragma once

namespace tmode::sim {

struct NoiseSpike {
  int tx = -1;
  int rx = -1;
  int size = 0;   // added to the node's reading on a spike sample
  int every = 0;  // the spike comes on samples K - 1, 2K - 1, ...; 0: never
};

// The spike's contribution to node (tx, rx) at this sample.
int spike_at(const NoiseSpike& spike, int tx, int rx, int sample);

// "T,R,D,K"; false, with the spike unchanged, when the text is not four
// numbers with K at least 1.
bool parse_noise_spike(const char* text, NoiseSpike& spike);

}  // namespace tmode::sim
