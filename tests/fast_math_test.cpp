// The fast arctangent and window cosine must give exactly the library's
// float. bench/fast_math_check runs the whole proof (every float for the
// arctangent, 200 million arguments for the cosine); these are samples of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "delay_line.h"
#include "fast_math.h"

namespace {

float float_of_bits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

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
