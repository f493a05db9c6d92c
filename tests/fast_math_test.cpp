// The fast arctangent, power of ten and window cosine must give exactly the
// library's float. bench/fast_math_check runs the whole proof (every float
// for the arctangent, 200 million arguments for the cosine); these are
// samples of it. (overtoner~'s and bitgrind~'s exact sums are tested in
// their own files.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "delay_line.h"
#include "fast_math.h"
#include "processor_path.h"
#include "bits.h"
#include "rig.h"

namespace {

float library_line_sample(float x) {
  return static_cast<float>(std::atan(static_cast<double>(x)) + static_cast<double>(1.0e-6f));
}

// Every 509th bit pattern: all exponents, both signs, NaNs and infinities.
TEST(FastAtan, MatchesTheLibraryOnASampleOfAllFloats) {
  for (uint64_t bits = 0; bits <= UINT32_MAX; bits += 509) {
    const float x = float_of_bits(static_cast<uint32_t>(bits));
    ASSERT_EQ(bits_of(tildefx::saturate_for_line(x)), bits_of(library_line_sample(x))) << x;
  }
}

// Every float near the places where the estimate's error matters most: around
// -1e-6 (where the offset cancels the arctangent), 0, +-1 (where the
// reduction switches to 1/x) and the reduction steps k/64 near 1/2.
TEST(FastAtan, MatchesTheLibraryAroundItsHardPlaces) {
  for (float centre : {-1.0e-6f, 0.0f, 1.0f, -1.0f, 0.5f + 1.0f / 128.0f, 1.0e-6f, 64.0f}) {
    float x = centre;
    for (int i = 0; i < 200000; i++) x = std::nextafter(x, -INFINITY);
    for (int i = 0; i < 400000; i++, x = std::nextafter(x, INFINITY))
      ASSERT_EQ(bits_of(tildefx::saturate_for_line(x)), bits_of(library_line_sample(x))) << x;
  }
}

// The batch form as the AVX2 routines compile it.
TILDEFX_AVX2_ROUTINE void saturate_batch_avx2(const float* x, float* result, int n) {
  tildefx::saturate_for_line(x, result, n);
}

// The batch form used by the delays' writes gives the same floats as the
// one at a time, on the same samples: every 509th bit pattern (batches of
// odd lengths) and the hard places, on the baseline and the AVX2 routines.
TEST(FastAtan, BatchesMatchTheLibraryToo) {
  std::vector<float> batch;
  for (uint64_t bits = 0; bits <= UINT32_MAX; bits += 509) batch.push_back(float_of_bits(static_cast<uint32_t>(bits)));
  for (float centre : {-1.0e-6f, 0.0f, 1.0f, -1.0f, 64.0f}) {
    float x = centre;
    for (int i = 0; i < 1000; i++) x = std::nextafter(x, -INFINITY);
    for (int i = 0; i < 2000; i++, x = std::nextafter(x, INFINITY)) batch.push_back(x);
  }
  for (bool avx2 : {false, tildefx::use_avx2()}) {
    std::vector<float> result(batch.size());
    for (size_t start = 0; start < batch.size(); start += 77) {
      const int count = static_cast<int>(std::min<size_t>(77, batch.size() - start));
      if (avx2)
        saturate_batch_avx2(batch.data() + start, result.data() + start, count);
      else
        tildefx::saturate_for_line(batch.data() + start, result.data() + start, count);
    }
    for (size_t i = 0; i < batch.size(); i++)
      ASSERT_EQ(bits_of(result[i]), bits_of(library_line_sample(batch[i]))) << batch[i] << " " << avx2;
  }
}

// The estimate itself stays far inside the margin the fallback assumes.
TEST(FastAtan, EstimateStaysWellWithinTheMargin) {
  std::mt19937 random(7);
  for (int i = 0; i < 1000000; i++) {
    const float x = float_of_bits(random());
    if (std::isnan(x) || x == 0.0f) continue;
    const double library = std::atan(static_cast<double>(x));
    EXPECT_LE(std::fabs(tildefx::atan_estimate(x) - library), std::fabs(library) * 0x1p-46) << x;
  }
  EXPECT_EQ(tildefx::atan_estimate(INFINITY), std::atan(static_cast<double>(INFINITY)));
  EXPECT_EQ(tildefx::atan_estimate(-INFINITY), std::atan(-static_cast<double>(INFINITY)));
}

// overtoner~'s weights 10^(3 level - 3): every 61st float level in [0, 1],
// and a few arguments beyond the estimate's range.
TEST(FastPowerOfTen, MatchesTheLibraryOnASampleOfLevels) {
  for (uint32_t bits = 0; bits <= 0x3f800000u; bits += 61) {
    const double y = 3.0 * float_of_bits(bits) - 3.0;
    ASSERT_EQ(bits_of(tildefx::exp10_to_float(y)), bits_of(static_cast<float>(std::pow(10.0, y)))) << y;
  }
  for (double y : {-40.0, -16.5, 16.5, 38.0, 39.0, double(NAN), double(INFINITY)})
    EXPECT_EQ(bits_of(tildefx::exp10_to_float(y)), bits_of(static_cast<float>(std::pow(10.0, y)))) << y;
}

float library_window(double angle, double factor) {
  return static_cast<float>((0.5 - 0.5 * std::cos(angle)) * factor);
}

// Arguments as the grain windows form them, and random ones of every size.
TEST(FastCosine, MatchesTheLibraryOnRandomArguments) {
  std::mt19937_64 random(99);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 400000; i++) {
    const float phaseStep = static_cast<float>(1.0 / (1.0 + unit(random) * 400000.0));
    const double elapsed = std::floor(unit(random) * (1.0 / phaseStep + 2.0)) - 1.0;
    const double windowAngle = elapsed * (2.0f * 3.14159274f) * phaseStep;
    const double wideAngle = (unit(random) * 2.0 - 1.0) * std::pow(10.0, unit(random) * 6.0 - 3.0);
    const float factor = static_cast<float>((unit(random) * 2.0 - 1.0) * std::pow(2.0, unit(random) * 40.0 - 30.0));
    for (double angle : {windowAngle, wideAngle})
      ASSERT_EQ(bits_of(tildefx::raised_cosine_times(angle, factor)), bits_of(library_window(angle, factor)))
          << angle << " " << factor;
  }
}

TEST(FastCosine, EdgesOfTheWindowAndBadArguments) {
  for (double angle : {0.0, -0.0, 3.14159274 / 2, 3.14159274, 2 * 3.14159274, -3.14159274, 1.0e5, 1.0e6,
                       1.0e300, double(INFINITY), -double(INFINITY), double(NAN)})
    for (float factor : {1.0f, -0.75f, 1.0e-30f, 0.0f, 3.0e38f})
      EXPECT_EQ(bits_of(tildefx::raised_cosine_times(angle, factor)), bits_of(library_window(angle, factor)))
          << angle << " " << factor;
}

TEST(FastCosine, EstimateStaysWellWithinTheMargin) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> angle(-tildefx::COSINE_REDUCTION_LIMIT, tildefx::COSINE_REDUCTION_LIMIT);
  for (int i = 0; i < 1000000; i++) {
    const double a = i % 2 == 0 ? angle(random) : angle(random) * 1.0e-4;
    EXPECT_LE(std::fabs(tildefx::cos_estimate(a) - std::cos(a)), 0x1p-51) << a;
  }
}

}  // namespace
