// The full proof that the fast paths give the library's bits:
//   fast_math_check atan    every one of the 2^32 float inputs of the delay
//                           lines' saturation (about a minute)
//   fast_math_check cos [N] N random window arguments and factors (default
//                           200 million)
//   fast_math_check pow10   every float level from 0 to 1 of overtoner~'s
//                           weights 10^(3 level - 3) (under a minute)
// Each prints the largest distance found between estimate and library (the
// bound the fallback relies on), how often the fallback ran, and exits
// non-zero on any mismatch. The tests run a sample of both.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "delay_line.h"
#include "fast_math.h"

namespace {

float float_of_bits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int check_atan() {
  const double offset = 1.0e-6f;
  uint64_t mismatches = 0;
  uint64_t fallbacks = 0;
  double worst = 0.0;  // largest |estimate - library| / |library|
  for (uint64_t bits = 0; bits <= UINT32_MAX; bits++) {
    const float x = float_of_bits(static_cast<uint32_t>(bits));
    const double library = std::atan(static_cast<double>(x));
    const float expected = static_cast<float>(library + offset);
    const float fast = tildefx::saturate_for_line(x);
    if (!same_bits(fast, expected)) {
      if (mismatches < 10) std::printf("mismatch at %a: %a, library %a\n", x, fast, expected);
      mismatches++;
    }
    if (std::isnan(x) || library == 0.0) continue;
    worst = std::fmax(worst, std::fabs(tildefx::atan_estimate(x) - library) / std::fabs(library));
    float unused;
    if (!tildefx::atan_plus_from_estimate(x, offset, unused)) fallbacks++;
    if ((bits & 0x0FFFFFFF) == 0) std::fprintf(stderr, "%3d%%\r", static_cast<int>(bits >> 28) * 100 / 16);
  }
  std::printf("atan: 2^32 inputs, %" PRIu64 " mismatches, %" PRIu64
              " fallbacks, largest relative distance from the library %.3g (2^%.1f), margins 2^-40 min(|x|, 2) and 2^-49 offset\n",
              mismatches, fallbacks, worst, std::log2(worst));
  return mismatches == 0 ? 0 : 1;
}

// Angles as the grain windows form them (elapsed samples times 2 pi times a
// phase step), plus plain uniform angles of several widths; factors are
// floats of every size the delay line can hold.
int check_cos(uint64_t count) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  uint64_t mismatches = 0;
  uint64_t fallbacks = 0;
  double worst = 0.0;  // largest |estimate - library|
  for (uint64_t i = 0; i < count; i++) {
    double angle;
    switch (i % 4) {
      case 0: {
        const float phaseStep = static_cast<float>(1.0 / (1.0 + unit(random) * 400000.0));
        const double elapsed = std::floor(unit(random) * (1.0 / phaseStep + 2.0)) - 1.0;
        angle = elapsed * (2.0f * 3.14159274f) * phaseStep;
        break;
      }
      case 1: angle = (unit(random) * 2.0 - 1.0) * 8.0; break;
      case 2: angle = (unit(random) * 2.0 - 1.0) * 1.0e-3; break;
      default: angle = (unit(random) * 2.0 - 1.0) * std::pow(10.0, unit(random) * 5.0); break;
    }
    const float factor = static_cast<float>((unit(random) * 2.0 - 1.0) * std::pow(2.0, unit(random) * 40.0 - 30.0));
    const float expected = static_cast<float>((0.5 - 0.5 * std::cos(angle)) * factor);
    const float fast = tildefx::raised_cosine_times(angle, factor);
    if (!same_bits(fast, expected)) {
      if (mismatches < 10) std::printf("mismatch at %a, %a: %a, library %a\n", angle, factor, fast, expected);
      mismatches++;
    }
    if (std::fabs(angle) > tildefx::COSINE_REDUCTION_LIMIT) continue;
    worst = std::fmax(worst, std::fabs(tildefx::cos_estimate(angle) - std::cos(angle)));
    float unused;
    if (!tildefx::raised_cosine_from_estimate(angle, factor, unused)) fallbacks++;
  }
  std::printf("cos: %" PRIu64 " arguments, %" PRIu64 " mismatches, %" PRIu64
              " fallbacks, largest distance from the library %.3g (2^%.1f), margin 2^-46\n",
              count, mismatches, fallbacks, worst, std::log2(worst));
  return mismatches == 0 ? 0 : 1;
}

// Every float level from 0 to 1, the weights of overtoner~.
int check_exp10() {
  uint64_t mismatches = 0;
  uint64_t fallbacks = 0;
  double worst = 0.0;  // largest |estimate - library| / library
  const uint32_t one = 0x3f800000u;  // the bits of 1.0f
  for (uint32_t bits = 0; bits <= one; bits++) {
    const float level = float_of_bits(bits);
    const double y = 3.0 * level - 3.0;
    const double library = std::pow(10.0, y);
    const float expected = static_cast<float>(library);
    const float fast = tildefx::exp10_to_float(y);
    if (!same_bits(fast, expected)) {
      if (mismatches < 10) std::printf("mismatch at level %a: %a, library %a\n", level, fast, expected);
      mismatches++;
    }
    worst = std::fmax(worst, std::fabs(tildefx::exp10_estimate(y) - library) / library);
    float unused;
    if (!tildefx::exp10_from_estimate(y, unused)) fallbacks++;
  }
  std::printf("pow10: every float level in [0, 1], %" PRIu64 " mismatches, %" PRIu64
              " fallbacks, largest relative distance from the library %.3g (2^%.1f), margin 2^-44\n",
              mismatches, fallbacks, worst, std::log2(worst));
  return mismatches == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  if (which == "atan") return check_atan();
  if (which == "cos") return check_cos(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200000000ull);
  if (which == "pow10") return check_exp10();
  std::fprintf(stderr, "usage: fast_math_check atan | cos [COUNT] | pow10\n");
  return 2;
}
