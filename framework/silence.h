// Digital silence: a run of samples that are all 0 (or -0). Objects take a
// shorter way through it where they can prove the same output bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace tildefx {

// Whether every sample is 0 or -0: their bits without the sign are all 0.
// Written without branches, so that it runs in vector lanes.
inline bool all_zero(const float* samples, int n) {
  uint32_t bits = 0;
  for (int i = 0; i < n; i++) {
    uint32_t word;
    std::memcpy(&word, &samples[i], sizeof word);
    bits |= word & 0x7fffffffu;
  }
  return bits == 0;
}

}  // namespace tildefx
