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
#include <cstdint>
#include <cstring>

namespace tildefx {

// ---- Arctangent ------------------------------------------------------------

// atan(t) for t in [0, 1] is read from its Taylor polynomial of degree 5
// around the nearest of 129 points c = k / 128, so the distance d = t - c is
// at most 1/256.
constexpr int ATAN_STEPS = 128;
constexpr int ATAN_DEGREE = 5;

// Coefficients of atan(c + d) = sum of a[n] d^n, n = 0..5, at each point:
// a[0] = atan(c) from the library, and for n >= 1, from
// d/dz atan z = Im(1 / (z - i)), a[n] = (-1)^(n-1) Im((c - i)^-n) / n.
struct AtanTable {
  double a[ATAN_STEPS + 1][ATAN_DEGREE + 1];
  AtanTable() {
    for (int k = 0; k <= ATAN_STEPS; k++) {
      const double c = static_cast<double>(k) / ATAN_STEPS;
      a[k][0] = std::atan(c);
      const double denominator = c * c + 1.0;  // 1 / (c - i) = (c + i) / (c^2 + 1)
      const double wRe = c / denominator;
      const double wIm = 1.0 / denominator;
      double powerRe = wRe;
      double powerIm = wIm;
      for (int n = 1; n <= ATAN_DEGREE; n++) {
        a[k][n] = (n % 2 == 1 ? powerIm : -powerIm) / n;
        const double nextRe = powerRe * wRe - powerIm * wIm;
        powerIm = powerRe * wIm + powerIm * wRe;
        powerRe = nextRe;
      }
    }
  }
};
// Built when the plug-in is loaded; read-only after.
inline const AtanTable ATAN_TABLE;

// Estimate of atan(x). For |x| > 1 it is pi/2 - atan(1/|x|). Error: the
// first Taylor term left out, a[6] d^6 with |d| <= 2^-8, is below 2^-47
// relative to atan(t): |a[n]| <= (1 + c^2)^(-n/2) / n, so |a[6]| <= 1/6, and
// for small c, |a[6]| is about c while t >= c / 2 (at c = 0, a[6] = 0 and
// the term left out is d^7 / 7). The coefficients carry a few roundings of
// 2^-53 each, weighted by d^n; the five multiply-add steps and the final
// subtraction from pi/2 (correct within 2^-53) add a few more. Together
// within 2^-46 |atan(x)|; the library's result lies within 1 ulp (2^-52) of
// the true value. The check over every float finds at most 2^-47.
inline double atan_estimate(double x) {
  if (std::isnan(x)) return x;  // no table index to form
  const double a = std::fabs(x);
  const bool inverted = a > 1.0;
  const double t = inverted ? 1.0 / a : a;
  const int k = static_cast<int>(t * ATAN_STEPS + 0.5);
  const double* c = ATAN_TABLE.a[k];
  const double d = t - k * (1.0 / ATAN_STEPS);
  const double d2 = d * d;
  // Estrin's scheme: the three pairs at once, then two steps in d^2, for a
  // short chain of dependent operations.
  const double p = (c[0] + c[1] * d) + d2 * ((c[2] + c[3] * d) + d2 * (c[4] + c[5] * d));
  return std::copysign(inverted ? 1.5707963267948966 - p : p, x);
}

// How far the estimate plus the offset may lie from the library's atan(x)
// plus the offset, both rounded to double. The two arctangents lie within
// (2^-46 + 2^-52) |atan(x)| of each other, and |atan(x)| <= min(|x|, pi/2);
// the library's sum rounds by at most 2^-53 |sum|, and so do the offset
// plus or minus the margin and the estimate plus that, with |sum| <=
// |atan(x)| + |offset|. The margin 2^-40 min(|x|, 2) + 2^-49 |offset| covers
// all of it with a factor of 16 to spare.
constexpr double ATAN_MARGIN = 0x1p-40;
constexpr double OFFSET_MARGIN = 0x1p-49;

// The float nearest to atan(x) + offset computed in double with the
// library's atan, from the estimate alone: false where the estimate cannot
// tell (within the margin of a rounding boundary, or NaN). The margin is
// formed from x alone, beside the estimate rather than after it.
inline bool atan_plus_from_estimate(double x, double offset, float& result) {
  const double margin = ATAN_MARGIN * std::fmin(std::fabs(x), 2.0) + OFFSET_MARGIN * std::fabs(offset);
  const double estimate = atan_estimate(x);
  result = static_cast<float>(estimate + (offset - margin));
  return result == static_cast<float>(estimate + (offset + margin));
}

// The library's path, kept out of line: a call inside a loop makes the
// compiler keep the loop's values in memory, so the rare call stands apart.
[[gnu::cold, gnu::noinline]] inline float atan_plus_from_library(double x, double offset) {
  return static_cast<float>(std::atan(x) + offset);
}

// Exactly static_cast<float>(std::atan(x) + offset), the library asked only
// where the estimate cannot tell.
inline float atan_plus_to_float(double x, double offset) {
  float result;
  if (__builtin_expect(atan_plus_from_estimate(x, offset, result), 1)) return result;
  return atan_plus_from_library(x, offset);
}

// The bits of a double as an integer, and back. For doubles that are not
// NaN and not negative, the order of their bit patterns is their numeric
// order. Comparing and choosing on the bits, the vector lanes need no
// branch (a branch would keep the compiler from computing both sides).
inline int64_t bits_of(double value) {
  int64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline double double_of(int64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// whenTrue where condition, otherwise whenFalse.
inline double choose(bool condition, double whenTrue, double whenFalse) {
  const int64_t mask = -static_cast<int64_t>(condition);
  return double_of((bits_of(whenTrue) & mask) | (bits_of(whenFalse) & ~mask));
}

// atan_plus_to_float for n floats at once: the same estimate and the same
// test, written without branches so that the loop runs in vector lanes (the
// table read as one array, so that its rows can be gathered), then the
// library for the few values the test leaves open. Each
// step is the scalar one: t is the smaller of |x| and 1/|x|, which is what
// the scalar path picks (also at 0, 1 and infinity), and the choices are
// made on the bits; a NaN enters as 0 and is left to the library.
inline void atan_plus_to_floats(const float* x, float* result, int n, double offset) {
  constexpr int LANES_AT_ONCE = 64;
  int64_t open[LANES_AT_ONCE];
  double values[LANES_AT_ONCE];
  float results[LANES_AT_ONCE];
  const double offsetMargin = OFFSET_MARGIN * std::fabs(offset);
  const double* coefficients = &ATAN_TABLE.a[0][0];
  for (int start = 0; start < n; start += LANES_AT_ONCE) {
    const int count = n - start < LANES_AT_ONCE ? n - start : LANES_AT_ONCE;
    for (int j = 0; j < count; j++) values[j] = x[start + j];
    for (int j = 0; j < count; j++) {
      const int64_t bits = bits_of(values[j]);
      const int64_t notNumber = -static_cast<int64_t>((bits & INT64_MAX) > 0x7ff0000000000000);
      const double v = double_of(bits & ~notNumber);
      const double a = std::fabs(v);
      const double inverse = 1.0 / a;
      const double t = choose(bits_of(inverse) < bits_of(a), inverse, a);
      const int k = static_cast<int>(t * ATAN_STEPS + 0.5);
      const int row = k * (ATAN_DEGREE + 1);  // the table read as one array, for gathering
      const double d = t - k * (1.0 / ATAN_STEPS);
      const double d2 = d * d;
      const double p = (coefficients[row] + coefficients[row + 1] * d) +
                       d2 * ((coefficients[row + 2] + coefficients[row + 3] * d) +
                             d2 * (coefficients[row + 4] + coefficients[row + 5] * d));
      const double fromHalfPi = 1.5707963267948966 - p;
      const double estimate = std::copysign(choose(bits_of(a) > bits_of(1.0), fromHalfPi, p), v);
      const double margin = ATAN_MARGIN * choose(bits_of(a) < bits_of(2.0), a, 2.0) + offsetMargin;
      const float low = static_cast<float>(estimate + (offset - margin));
      const float high = static_cast<float>(estimate + (offset + margin));
      results[j] = low;
      open[j] = notNumber | -static_cast<int64_t>(low != high);
    }
    for (int j = 0; j < count; j++)
      result[start + j] = open[j] == 0 ? results[j] : atan_plus_from_library(x[start + j], offset);
  }
}

// ---- Cosine ----------------------------------------------------------------

// cos x = cos(a) cos(r) - sin(a) sin(r), with a the nearest of 256 points
// a = j pi/128 on the cycle (their cosines and sines from the library) and
// |r| <= pi/256.
constexpr int COSINE_STEPS = 256;

// The pi/128 steps in three parts (below): the first two hold 33 bits each,
// so k times either is exact for |k| < 2^20.
constexpr double STEP_1 = 0x1.921fb544p-6;
constexpr double STEP_2 = 0x1.0b4611a6p-40;
constexpr double STEP_3 = 0x1.3198a2e037073p-75;

// The cosine and sine of each point j pi/128: the library's values at
// j * STEP_1 (exact), moved by the rest of the point, delta, to first order
// (the second-order term, delta^2 / 2 < 2^-58, is left out).
struct CosineTable {
  double cosine[COSINE_STEPS];
  double sine[COSINE_STEPS];
  CosineTable() {
    for (int j = 0; j < COSINE_STEPS; j++) {
      const double a = j * STEP_1;
      const double delta = j * STEP_2 + j * STEP_3;
      cosine[j] = std::cos(a) - std::sin(a) * delta;
      sine[j] = std::sin(a) + std::cos(a) * delta;
    }
  }
};
// Built when the plug-in is loaded; read-only after.
inline const CosineTable COSINE_TABLE;

constexpr double STEPS_PER_RADIAN = 40.74366543152521;  // 128 / pi
// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 to the
// nearest integer (ties to even), without a library call.
constexpr double ROUNDING_SHIFT = 6755399441055744.0;
// Beyond this the estimate is not used (the windows never get near it).
constexpr double COSINE_REDUCTION_LIMIT = 1.0e4;

// Estimate of cos(x) for |x| <= COSINE_REDUCTION_LIMIT (|k| < 2^19). The
// three-part reduction leaves r within 2^-70 of x - k pi/128. The tables'
// cosine and sine lie within 2^-52 of the true values; cos r and sin r come
// from their series through r^6 and r^7, the first terms left out below
// 2^-66; their evaluation and the final products and difference add a few
// roundings of at most 2^-53 each. So the estimate lies within 2^-50 of
// cos x, and the library's within 2^-53 (1 ulp of a value at most 1); the
// randomized check finds about 2^-53.
inline double cos_estimate(double x) {
  const double k = (x * STEPS_PER_RADIAN + ROUNDING_SHIFT) - ROUNDING_SHIFT;
  const double r = ((x - k * STEP_1) - k * STEP_2) - k * STEP_3;
  const int j = static_cast<int>(static_cast<long long>(k) & (COSINE_STEPS - 1));
  const double r2 = r * r;
  const double cosR = 1.0 + r2 * (-1.0 / 2.0 + r2 * (1.0 / 24.0 + r2 * (-1.0 / 720.0)));
  const double sinR = r + r * r2 * (-1.0 / 6.0 + r2 * (1.0 / 120.0 + r2 * (-1.0 / 5040.0)));
  return COSINE_TABLE.cosine[j] * cosR - COSINE_TABLE.sine[j] * sinR;
}

// Distance allowed between (0.5 - 0.5 cos) times a factor from the estimate
// and from the library, relative to the factor: 2^-46, far above half the
// two cosines' distance (2^-50 + 2^-53) plus the roundings of at most 2^-53
// of the factor each (the window value lies within [0, 1]).
constexpr double COSINE_MARGIN = 0x1p-46;

// The float nearest to (0.5 - 0.5 cos(angle)) * factor computed in double
// with the library's cos, from the estimate alone: false where the estimate
// cannot tell (near a rounding boundary, a huge angle, NaN).
inline bool raised_cosine_from_estimate(double angle, double factor, float& result) {
  if (!(std::fabs(angle) <= COSINE_REDUCTION_LIMIT)) return false;
  const double estimate = (0.5 - 0.5 * cos_estimate(angle)) * factor;
  const double margin = COSINE_MARGIN * std::fabs(factor);
  result = static_cast<float>(estimate - margin);
  return result == static_cast<float>(estimate + margin);
}

// The library's path, out of line as the arctangent's.
[[gnu::cold, gnu::noinline]] inline float raised_cosine_from_library(double angle, double factor) {
  return static_cast<float>((0.5 - 0.5 * std::cos(angle)) * factor);
}

// Exactly static_cast<float>((0.5 - 0.5 * std::cos(angle)) * factor), the
// library asked only where the estimate cannot tell.
inline float raised_cosine_times(double angle, double factor) {
  float result;
  if (__builtin_expect(raised_cosine_from_estimate(angle, factor, result), 1)) return result;
  return raised_cosine_from_library(angle, factor);
}

// ---- Powers of ten ----------------------------------------------------------

// 10^y = 2^(y log2 10) = 2^m * 2^(j/64) * 2^f, with n = 64 m + j the nearest
// whole number of 64ths to y log2 10 and |f| <= 1/128.
constexpr int EXP2_STEPS = 64;

struct Exp2Table {
  double value[EXP2_STEPS];  // 2^(j/64), from the library
  Exp2Table() {
    for (int j = 0; j < EXP2_STEPS; j++) value[j] = std::exp2(static_cast<double>(j) / EXP2_STEPS);
  }
};
// Built when the plug-in is loaded; read-only after.
inline const Exp2Table EXP2_TABLE;

// log2 10 in two parts: the first holds 26 bits, so its product with a y of
// up to 27 bits (3 level - 3 for a float level) is exact.
constexpr double LOG2_TEN_HIGH = 0x1.a934f08p+1;
constexpr double LOG2_TEN_LOW = 0x1.79a3715fc9258p-27;
constexpr double LOG2_TEN = 3.321928094887362;
constexpr double LN_TWO = 0.6931471805599453;
// The estimate is used for y within this (the objects' weights need -3 to 0).
constexpr double EXP10_LIMIT = 16.0;

// Estimate of 10^y for |y| <= EXP10_LIMIT. f is formed within 2^-60 of its
// true value (for y of up to 27 bits); e^(f ln 2) comes from its series
// through the fifth power, the first term left out below 2^-54; the table's
// 2^(j/64) lies within 2^-53 relative of the true value; with the roundings
// of the series and the products, the estimate lies within 2^-50 relative
// of 10^y, and the library's pow within 1 ulp (2^-52). Checked for every
// float level: see bench/fast_math_check.cpp.
inline double exp10_estimate(double y) {
  const double n = (y * (LOG2_TEN * EXP2_STEPS) + ROUNDING_SHIFT) - ROUNDING_SHIFT;
  const double f = (y * LOG2_TEN_HIGH - n * (1.0 / EXP2_STEPS)) + y * LOG2_TEN_LOW;
  const double g = f * LN_TWO;
  const double series = 1.0 + g * (1.0 + g * (1.0 / 2 + g * (1.0 / 6 + g * (1.0 / 24 + g * (1.0 / 120)))));
  const int64_t whole = static_cast<int64_t>(n);
  const int64_t octaves = whole >> 6;  // floor(n / 64), also for negative n; |octaves| <= 54
  // 2^octaves, written as its bits: exponent field octaves + 1023, no fraction.
  const double scale = double_of((octaves + 1023) << 52);
  return EXP2_TABLE.value[whole & (EXP2_STEPS - 1)] * series * scale;
}

// 2^-44 relative: far above the 2^-50 + 2^-52 between the two results and
// the roundings of 2^-53 of the margin's sums.
constexpr double EXP10_MARGIN = 0x1p-44;

// The float nearest to the library's pow(10, y), from the estimate alone:
// false where the estimate cannot tell.
inline bool exp10_from_estimate(double y, float& result) {
  if (!(std::fabs(y) <= EXP10_LIMIT)) return false;
  const double estimate = exp10_estimate(y);
  const double margin = EXP10_MARGIN * estimate;
  result = static_cast<float>(estimate - margin);
  return result == static_cast<float>(estimate + margin);
}

// Exactly static_cast<float>(std::pow(10.0, y)), the library asked only
// where the estimate cannot tell.
inline float exp10_to_float(double y) {
  float result;
  if (exp10_from_estimate(y, result)) return result;
  return static_cast<float>(std::pow(10.0, y));
}

}  // namespace tildefx
