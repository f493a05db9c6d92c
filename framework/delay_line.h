// A delay line: a power-of-two ring of floats whose every index is masked,
// read between samples with the four-point cubic; the arctangent that
// bounds what it stores; the triangle that crossfades two of its reads.
#pragma once

#include <cstdint>

#include "fast_math.h"
#include "interpolate4.h"

namespace tildefx {

// A view of an object's ring buffer: its samples and its length - 1.
struct DelayLine {
  float* samples;
  int32_t mask;

  // The cubic through the slots index - 1 to index + 2 (each masked), at
  // `fraction` from the slot at index towards the next.
  float read(int32_t index, float fraction) const {
    return interpolate4(fraction, samples[(index - 1) & mask], samples[index & mask],
                        samples[(index + 1) & mask], samples[(index + 2) & mask]);
  }

  void write(int32_t index, float value) const { samples[index & mask] = value; }
};

// The sample stored in a delay line: the arctangent keeps it within pi/2,
// and the small offset keeps silence from becoming denormal. The value is
// exactly static_cast<float>(std::atan(double(x)) + double(1.0e-6f)), found
// without the library call for all but a few inputs (fast_math.h).
inline float saturate_for_line(float x) {
  return atan_plus_to_float(static_cast<double>(x), static_cast<double>(1.0e-6f));
}

// saturate_for_line for n samples at once (the same values).
inline void saturate_for_line(const float* x, float* result, int n) {
  atan_plus_to_floats(x, result, n, static_cast<double>(1.0e-6f));
}

// The triangle that crossfades two reads of a line: step k of `steps` (a
// power of two) is -1 at step 0, rises to +1 at steps / 2 and falls back.
// It is computed rather than read from a table: a 4 MiB table, whose two
// entries per sample lie half of it apart and move on by a cache line or
// more per sample, missed the cache every time. k * 4 / steps and the
// subtraction are exact in double (multiples of 4 / steps below 4), so the
// value is the one rounding to a float of the exact triangle.
inline float crossfade_triangle(int32_t k, int32_t steps) {
  const double rise = k * (4.0 / steps);
  return static_cast<float>(k < steps / 2 ? rise - 1.0 : 3.0 - rise);
}

}  // namespace tildefx
