// The crossfade of two reads of a delay line: each read is weighted by
// (1 + triangle) / 2 of its own place in the crossfade's cycle, so that a
// read is silent at the start of its cycle, where it jumps, and at full
// weight half a cycle on. Two reads half a cycle apart have weights that add
// up to 1.
#pragma once

#include <cstdint>

namespace tildefx {

// The triangle: step k of `steps` (a power of two) is -1 at step 0, rises to
// +1 at steps / 2 and falls back. It is computed rather than read from a
// table: a 4 MiB table, whose two entries per sample lie half of it apart and
// move on by a cache line or more per sample, missed the cache every time.
// k * 4 / steps and the subtraction are exact in double (multiples of
// 4 / steps below 4), so the value is the one rounding to a float of the
// exact triangle.
inline float crossfade_triangle(int32_t k, int32_t steps) {
  const double rise = k * (4.0 / steps);
  return static_cast<float>(k < steps / 2 ? rise - 1.0 : 3.0 - rise);
}

// The two reads weighted at their steps of the cycle: the weighted sum is
// rounded to a float, and the halving of the weights comes last.
inline float crossfade_two_reads(float read1, int32_t step1, float read2, int32_t step2, int32_t steps) {
  const double weight1 = 1.0 + crossfade_triangle(step1, steps);
  const double weight2 = 1.0 + crossfade_triangle(step2, steps);
  const float sum = static_cast<float>(read1 * weight1 + read2 * weight2);
  return static_cast<float>(0.5 * sum);
}

}  // namespace tildefx
