// 32-bit linear congruential generator. It visits all 2^32 states before it
// repeats; callers scale the whole word (u * 2^-32 gives [0, 1)).
#pragma once

#include <cstdint>

namespace tildefx {

inline uint32_t random_next(uint32_t& state) {
  state = state * 196314165u + 907633515u;
  return state;
}

// The unipolar value of a generator output, in [0, 1).
inline double random_unipolar(uint32_t word) {
  return word * (1.0 / 4294967296.0);
}

}  // namespace tildefx
