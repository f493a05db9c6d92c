// Digital silence: a run of samples that are all 0 (or -0). Objects take a
// shorter way through it where they can prove the same output bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace tildefx {

// The bits of a sample without its sign: 0 for 0 and -0 alone.
inline uint32_t magnitude_bits(float sample) {
  uint32_t word;
  std::memcpy(&word, &sample, sizeof word);
  return word & 0x7fffffffu;
}

// Whether every sample is 0 or -0. Written without branches, so that it
// runs in vector lanes.
inline bool all_zero(const float* samples, int n) {
  uint32_t magnitudes = 0;
  for (int i = 0; i < n; i++) magnitudes |= magnitude_bits(samples[i]);
  return magnitudes == 0;
}

}  // namespace tildefx
