// What every implementation of the host interface computes the same way, so
// that an object behaves alike in each host.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace host_runtime {

// A number as a 32-bit integer: truncated toward zero, held at the ends of
// the range; NaN gives 0.
inline int32_t saturate_to_int32(double number) {
  if (std::isnan(number)) return 0;
  if (number >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (number <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(number);
}

// The classic runtime generator behind rand: the state starts at 1 and each
// call gives 0 to 32767.
inline int next_rand(uint32_t& state) {
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFFu);
}

}  // namespace host_runtime
