// Two ways to round a double to a float's value. FloatRounding is the
// processor's, and gives a float. Below the smallest normal float the
// processor forms denormal floats, and a loop that keeps working on them (an
// envelope that has decayed in silence) can cost twice as much per sample.
// TinyRounding gives the same values, held in a double, without ever forming
// a denormal float: below the smallest normal float it rounds on the double,
// to the nearest multiple of 2^-149 (ties to even), the float's step there.
#pragma once

#include <cmath>

namespace tildefx {

constexpr double SMALLEST_NORMAL_FLOAT = 0x1p-126;

// Whether a float's value lies below the smallest normal float, but is not 0.
inline bool below_normal_floats(double v) { return v != 0.0 && std::fabs(v) < SMALLEST_NORMAL_FLOAT; }

struct FloatRounding {
  float operator()(double v) const { return static_cast<float>(v); }
};

// Below the smallest normal float, adding and subtracting 1.5 * 2^-97 rounds
// to a multiple of 2^-149: the sum lies in [2^-97, 2^-96), where a double's
// step is 2^-149, and the subtraction is exact. Ties go to even, as the
// float's own rounding does (1.5 * 2^-97 is an even number of steps).
constexpr double FLOAT_STEP_ROUNDER = 0x1.8p-97;

struct TinyRounding {
  double operator()(double v) const {
    if (__builtin_expect(std::fabs(v) < SMALLEST_NORMAL_FLOAT, 1))
      return std::copysign((v + FLOAT_STEP_ROUNDER) - FLOAT_STEP_ROUNDER, v);
    return static_cast<float>(v);
  }
};

}  // namespace tildefx
