// Fast arctangent and cosine for the per-sample paths, each returning
// exactly the float the library path gives.
//
// Each function evaluates an estimate of the library's double result whose
// distance from it is bounded (the bounds are derived below and checked: for
// the arctangent over every float input, for the cosine over many millions of
// random arguments; see bench/fast_math_check.cpp and
// tests/fast_math_test.cpp). It then rounds the estimate, pushed down and up
// by more than that bound, to a float. Rounding is monotonic, so when both
// give the same float, the library's value, which lies between them, rounds
// to that float too. Otherwise (near a point where the rounding could go
// either way, or for NaN) it asks the library itself.
#pragma once

#include <cmath>

namespace tildefx {

// ---- Arctangent ------------------------------------------------------------

// Steps of the reduction table: atan(t) = atan(c) + atan(u), with c = k / 64
// the nearest step to t and u = (t - c) / (1 + t c), so |u| <= 1/128.
constexpr int ATAN_STEPS = 64;

// atan(k / 64) for k = 0..64, from the library, once per process.
inline const double* atan_steps() {
  static const struct Table {
    double value[ATAN_STEPS + 1];
    Table() {
      for (int k = 0; k <= ATAN_STEPS; k++) value[k] = std::atan(static_cast<double>(k) / ATAN_STEPS);
    }
  } table;
  return table.value;
}

// Estimate of atan(x). Error analysis, for |x| <= 1 (t = |x|): t - c is exact
// (Sterbenz, or c = 0), 1 + t c and the division add at most 1.5 units in
// the last place (ulp) to u; the odd series u - u^3/3 + u^5/5 - u^7/7 leaves
// out less than |u|^9 / 9 <= 2^-63 |u|, and its evaluation adds under 1 ulp of
// u; adding atan(c) (itself within 1 ulp) adds 1/2 ulp. For |x| > 1 the
// estimate is pi/2 - atan(1/|x|), where 1/|x| adds 1/2 ulp and pi/2 is
// within 1/2 ulp; the result then lies in [pi/4, pi/2], so the absolute
// errors of the parts stay within a few ulps of it. Altogether the estimate
// is within 2^-49 |atan(x)| of the true value, and the library's result
// within 1 ulp (2^-52 relative) of it; the check over every float finds at
// most about 2^-52.
inline double atan_estimate(double x) {
  if (std::isnan(x)) return x;  // no table index to form
  const double a = std::fabs(x);
  const bool inverted = a > 1.0;
  const double t = inverted ? 1.0 / a : a;
  const int k = static_cast<int>(t * ATAN_STEPS + 0.5);
  const double c = static_cast<double>(k) / ATAN_STEPS;
  const double u = (t - c) / (1.0 + t * c);
  const double u2 = u * u;
  const double series = u + u * (u2 * (-1.0 / 3.0 + u2 * (1.0 / 5.0 - u2 * (1.0 / 7.0))));
  const double base = atan_steps()[k] + series;
  const double magnitude = inverted ? 1.5707963267948966 - base : base;
  return x < 0.0 ? -magnitude : magnitude;
}

// How far the estimate plus the offset may lie from the library's atan(x)
// plus the offset, both rounded to double: ATAN_MARGIN |atan(x)| covers the
// two arctangents' distance (2^-49 + 2^-52 relative, 2^-40 leaves a factor
// of 400), SUM_MARGIN |sum| the roundings of the two sums and of the sum
// plus or minus the margin (3 x 2^-53, 2^-49 leaves a factor of 5).
constexpr double ATAN_MARGIN = 0x1p-40;
constexpr double SUM_MARGIN = 0x1p-49;

// The float nearest to atan(x) + offset computed in double with the
// library's atan: exactly static_cast<float>(std::atan(x) + offset).
inline float atan_plus_to_float(double x, double offset) {
  const double estimate = atan_estimate(x);
  const double sum = estimate + offset;
  const double margin = ATAN_MARGIN * std::fabs(estimate) + SUM_MARGIN * std::fabs(sum);
  const float low = static_cast<float>(sum - margin);
  const float high = static_cast<float>(sum + margin);
  if (low == high) return low;
  return static_cast<float>(std::atan(x) + offset);
}

// ---- Cosine ----------------------------------------------------------------

// pi/2 in three parts for the reduction: the first two hold 33 bits each, so
// k times either is exact for |k| < 2^20.
constexpr double HALF_PI_1 = 0x1.921fb544p+0;
constexpr double HALF_PI_2 = 0x1.0b4611a6p-34;
constexpr double HALF_PI_3 = 0x1.3198a2e037073p-69;
constexpr double TWO_OVER_PI = 0.6366197723675814;
// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 to the
// nearest integer (ties to even), without a library call.
constexpr double ROUNDING_SHIFT = 6755399441055744.0;
// Beyond this the estimate is not used (the windows never get near it).
constexpr double COSINE_REDUCTION_LIMIT = 1.0e5;

// Estimate of cos(x) for |x| <= COSINE_REDUCTION_LIMIT. x = k pi/2 + r with
// |r| <= pi/4 (plus a hair): the three-part reduction leaves r within 2^-60
// of x - k pi/2. Then cos x is +-cos r or +-sin r, each from its Taylor
// series through the r^16 and r^17 terms: the first term left out is below
// 2^-57 for |r| <= pi/4. Horner evaluation adds under 2 ulps. So the estimate
// lies within 2^-51 of cos x, the library's within 2^-53 (1 ulp of a value
// at most 1); the randomized check finds about 2^-53.
inline double cos_estimate(double x) {
  const double k = (x * TWO_OVER_PI + ROUNDING_SHIFT) - ROUNDING_SHIFT;
  const double r = ((x - k * HALF_PI_1) - k * HALF_PI_2) - k * HALF_PI_3;
  const double r2 = r * r;
  const int quadrant = static_cast<int>(static_cast<long long>(k) & 3);
  double value;
  if ((quadrant & 1) == 0) {
    value = 1.0 + r2 * (-1.0 / 2 + r2 * (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320 +
            r2 * (-1.0 / 3628800 + r2 * (1.0 / 479001600 + r2 * (-1.0 / 87178291200.0 +
            r2 * (1.0 / 20922789888000.0))))))));
  } else {
    value = r + r * r2 * (-1.0 / 6 + r2 * (1.0 / 120 + r2 * (-1.0 / 5040 + r2 * (1.0 / 362880 +
            r2 * (-1.0 / 39916800 + r2 * (1.0 / 6227020800.0 + r2 * (-1.0 / 1307674368000.0 +
            r2 * (1.0 / 355687428096000.0))))))));
  }
  // cos(r + k pi/2): cos r, -sin r, -cos r, sin r.
  return quadrant == 0 || quadrant == 3 ? value : -value;
}

// Distance allowed between (0.5 - 0.5 cos) from the estimate and from the
// library, both times the same factor, relative to that factor: 2^-46, far
// above the 2^-52 + 2^-53 (half the cosine errors) and the roundings of
// 2^-53 that can occur, for a window value within [0, 1].
constexpr double COSINE_MARGIN = 0x1p-46;

// The float nearest to (0.5 - 0.5 cos(angle)) * factor computed in double
// with the library's cos: exactly
// static_cast<float>((0.5 - 0.5 * std::cos(angle)) * factor).
inline float raised_cosine_times(double angle, double factor) {
  if (std::fabs(angle) <= COSINE_REDUCTION_LIMIT) {
    const double estimate = (0.5 - 0.5 * cos_estimate(angle)) * factor;
    const double margin = COSINE_MARGIN * std::fabs(factor);
    const float low = static_cast<float>(estimate - margin);
    const float high = static_cast<float>(estimate + margin);
    if (low == high) return low;
  }
  return static_cast<float>((0.5 - 0.5 * std::cos(angle)) * factor);
}

}  // namespace tildefx
