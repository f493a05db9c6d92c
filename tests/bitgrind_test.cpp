#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <cstring>
#include <limits>

#include "bitgrind/bitgrind.h"
#include "bits.h"
#include "rig.h"

namespace {

using Lines = std::vector<std::string>;
const std::string DEPTH_ERROR = "error: bitgrind~: depth value must be >= 1.0 and <= 24.0.";
const std::string FOLDS_ERROR = "error: bitgrind~: folds value must be between 0 and 8.";
const std::string RESIZE_ERROR =
    "error: bitgrind~: no memory for buffers of this block size; the output is silent.";

// A rig with blocks of 256 samples, where the output is not delayed.
Rig undelayed() { return Rig("bitgrind~", 44100.0f, 256); }

// Runs single values through an undelayed rig, one block each, so that no
// folding group mixes two of them.
std::vector<float> each_alone(Rig& rig, const std::vector<float>& values) {
  std::vector<float> results;
  for (float value : values) results.push_back(rig.run(std::vector<float>(256, value))[0]);
  return results;
}

std::vector<float> ramp(size_t n, double step) {
  std::vector<float> signal(n);
  for (size_t i = 0; i < n; i++) signal[i] = static_cast<float>(static_cast<double>(i) * step);
  return signal;
}

// Index of the first nonzero sample, or -1.
long first_nonzero(const std::vector<float>& signal) {
  for (size_t i = 0; i < signal.size(); i++)
    if (signal[i] != 0.0f) return static_cast<long>(i);
  return -1;
}

TEST(Bitgrind, DefaultsDelayByTheHistoryLessOneBlock) {
  Rig rig("bitgrind~");
  const Bitgrind& x = rig.record<Bitgrind>();
  EXPECT_EQ(x.historyLength, 256);
  EXPECT_EQ(x.depthMask, -1);
  EXPECT_EQ(x.depthMaskNext, -1);
  EXPECT_EQ(x.depthFraction, 0.0f);
  EXPECT_EQ(x.foldSize, 1.0f);
  EXPECT_EQ(x.foldGain, 1.0f);

  const auto out = rig.run(impulse(512, 0.3f));
  EXPECT_EQ(first_nonzero(out), 192);
  EXPECT_EQ(out[192], 0.3f);
  EXPECT_EQ(out[193], 0.0f);

  for (int block : {256, 512}) {
    rig.dsp(44100.0f, block);
    EXPECT_EQ(first_nonzero(rig.run(impulse(1024, 0.3f))), 0) << block;
  }
}

TEST(Bitgrind, DefaultsKeepEveryMultipleOfTwoToTheMinus31) {
  Rig rig = undelayed();
  const float tiny = static_cast<float>(std::ldexp(1.0, -31));
  EXPECT_EQ(each_alone(rig, {0.5f, -1.0f, 0.3f, -0.3f, tiny, -tiny, 0.4f * tiny, -0.4f * tiny}),
            (std::vector<float>{0.5f, -1.0f, 0.3f, -0.3f, tiny, -tiny, 0.0f, 0.0f}));
}

TEST(Bitgrind, FullScaleSaturatesInsteadOfWrapping) {
  Rig rig = undelayed();
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(each_alone(rig, {1.0f, 1.5f, inf, -1.0f, -1.5f, -inf, nan}),
            (std::vector<float>{1.0f, 1.0f, 1.0f, -1.0f, -1.0f, -1.0f, 0.0f}));
  rig.send("1: 24");
  const float belowOne = 1.0f - static_cast<float>(std::ldexp(1.0, -23));
  EXPECT_EQ(each_alone(rig, {1.0f, 2.0f}), (std::vector<float>{belowOne, belowOne}));
  // A sum of large samples overflows to infinity and saturates too.
  rig.send("2: 8");
  EXPECT_EQ(each_alone(rig, {3.0e38f})[0], belowOne);
}

TEST(Bitgrind, DepthKeepsTheTopBitsWithAFractionalCrossfade) {
  Rig rig = undelayed();
  rig.send("1: 1");
  EXPECT_EQ(each_alone(rig, {0.3f, 0.999f, 0.0f, -0.001f, -0.9f}),
            (std::vector<float>{0.0f, 0.0f, 0.0f, -1.0f, -1.0f}));
  rig.send("1: 3");
  EXPECT_EQ(each_alone(rig, {0.3f, -0.3f, 0.74f}), (std::vector<float>{0.25f, -0.5f, 0.5f}));
  rig.send("1: 2.5");
  const Bitgrind& x = rig.record<Bitgrind>();
  EXPECT_EQ(static_cast<uint32_t>(x.depthMask), 0xC0000000u);
  EXPECT_EQ(static_cast<uint32_t>(x.depthMaskNext), 0xE0000000u);
  EXPECT_EQ(x.depthFraction, 0.5f);
  // Halfway between the 2-bit value 0.0 and the 3-bit value 0.25.
  EXPECT_EQ(each_alone(rig, {0.3f, -0.3f}), (std::vector<float>{0.125f, -0.5f}));
  rig.send("1: 24");
  EXPECT_EQ(static_cast<uint32_t>(x.depthMask), 0xFFFFFF00u);
  EXPECT_EQ(static_cast<uint32_t>(x.depthMaskNext), 0xFFFFFF80u);
  EXPECT_EQ(x.depthFraction, 0.0f);
  const float step = static_cast<float>(std::ldexp(1.0, -23));
  EXPECT_EQ(each_alone(rig, {0.3f, 1.7f * step, -0.3f * step}),
            (std::vector<float>{0.29999995f, step, -step}));
}

// One sample quantised as the definition says: the average in double, the
// word truncated (saturating; NaN gives 0), the crossfade in extended
// precision, the result scaled by 2^-31 and rounded to a float.
float defined_quantise(float sample, float foldGain, int32_t mask, int32_t maskNext, float fraction) {
  const float average = static_cast<float>(static_cast<double>(sample) * foldGain);
  int32_t fixed = 0;
  if (!std::isnan(average)) {
    const double scaled = average * 2147483648.0;
    fixed = scaled >= 2147483647.0 ? std::numeric_limits<int32_t>::max()
            : scaled <= -2147483648.0 ? std::numeric_limits<int32_t>::min()
                                      : static_cast<int32_t>(scaled);
  }
  const int32_t coarse = fixed & mask;
  const int32_t fine = fixed & maskNext;
  const int32_t blended = static_cast<int32_t>(static_cast<long double>(fine - coarse) * fraction + coarse);
  return static_cast<float>(blended * 4.656612873077393e-10);
}

// Groups of one sample (folds below 1) at every depth, whole or not, over
// samples of every size and sign: tiny, denormal, near full scale, beyond it.
TEST(Bitgrind, GroupsOfOneSampleMatchTheDefinitionBitForBit) {
  std::vector<float> samples = {0.0f, -0.0f, 1.0f, -1.0f, 0.99999994f, -0.99999994f, 1.0000001f, 3.0e38f,
                                -3.0e38f, 1.0e-45f, -1.0e-40f, 4.6566e-10f, -4.6567e-10f};
  uint32_t bits = 99u;
  for (int i = 0; i < 4000; i++) {
    bits = bits * 1664525u + 1013904223u;
    const float value = std::ldexp(static_cast<float>(bits >> 8) / 16777216.0f, -static_cast<int>(bits % 40));
    samples.push_back((bits & 128u) != 0 ? -value : value);
  }
  samples.resize(4096, 0.25f);
  for (const char* folds : {"2: 0", "2: 0.5"}) {
    for (const char* depth : {"1: 24", "1: 12", "1: 1", "1: 7.25", "1: 23.9"}) {
      Rig rig = undelayed();
      rig.send(folds);
      rig.send(depth);
      const Bitgrind& x = rig.record<Bitgrind>();
      const std::vector<float> out = rig.run(samples);
      for (size_t i = 0; i < samples.size(); i++) {
        const float expected = defined_quantise(samples[i], x.foldGain, x.depthMask, x.depthMaskNext, x.depthFraction);
        ASSERT_EQ(std::memcmp(&out[i], &expected, sizeof(float)), 0)
            << folds << " " << depth << " " << samples[i] << " gives " << out[i] << ", not " << expected;
      }
    }
  }
  Rig defaults = undelayed();  // all 32 bits
  const std::vector<float> out = defaults.run(samples);
  for (size_t i = 0; i < samples.size(); i++)
    ASSERT_EQ(out[i], defined_quantise(samples[i], 1.0f, -1, -1, 0.0f)) << samples[i];
}

TEST(Bitgrind, RefusesDepthAndFoldsOutsideTheirRanges) {
  Rig rig("bitgrind~");
  rig.send("1: 7.25");
  rig.send("2: 3");
  EXPECT_TRUE(rig.console().empty());
  const Bitgrind before = rig.record<Bitgrind>();
  for (const char* depth : {"0.5", "25", "0.9999", "24.0001", "-3"}) rig.send(std::string("1: ") + depth);
  EXPECT_EQ(rig.console(), Lines(5, DEPTH_ERROR));
  for (const char* folds : {"9", "-1", "8.0001", "-0.0001"}) rig.send(std::string("2: ") + folds);
  EXPECT_EQ(rig.console(), Lines(4, FOLDS_ERROR));
  rig.send("1: nan");
  rig.send("2: inf");
  EXPECT_EQ(rig.console().size(), 2u);
  const Bitgrind& after = rig.record<Bitgrind>();
  EXPECT_EQ(after.depthMask, before.depthMask);
  EXPECT_EQ(after.depthMaskNext, before.depthMaskNext);
  EXPECT_EQ(after.depthFraction, before.depthFraction);
  EXPECT_EQ(after.foldSize, 8.0f);
  EXPECT_EQ(after.foldGain, 0.125f);

  for (const char* bound : {"1: 1", "1: 24", "2: 0", "2: 8"}) rig.send(bound);
  EXPECT_TRUE(rig.console().empty());
  EXPECT_EQ(after.foldSize, 256.0f);
}

TEST(Bitgrind, LeftInletNumbersAndClearChangeNothing) {
  Rig plain("bitgrind~");
  Rig poked("bitgrind~");
  const auto input = ramp(300, 0.003);
  const auto expected = plain.run(input);
  poked.run(std::vector<float>(input.begin(), input.begin() + 64));
  for (const char* message : {"clear", "5", "0.25", "-7"}) poked.send(message);
  const auto rest = poked.run(std::vector<float>(input.begin() + 64, input.end()));
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), expected.begin() + 64));
  EXPECT_TRUE(poked.console().empty());
}

TEST(Bitgrind, FoldingHoldsTheAverageOfEachGroup) {
  // Folds 8 at a block size of 64: one average of all 256 history samples
  // (the whole block's delayed past and its three successors) per block.
  Rig rig("bitgrind~");
  rig.send("2: 8");
  const auto out = rig.run(ramp(256, 1.0 / 512));
  for (size_t i = 0; i < 64; i++) EXPECT_EQ(out[i], 3.9375f / 256);     // ramp 0..63
  for (size_t i = 128; i < 192; i++) EXPECT_EQ(out[i], 35.8125f / 256);  // ramp 0..191
  for (size_t i = 192; i < 256; i++) EXPECT_EQ(out[i], 63.75f / 256);    // ramp 0..255

  Rig fours = undelayed();
  fours.send("2: 2");
  const auto held = fours.run(ramp(512, 1.0 / 1024));
  EXPECT_EQ(held[0], 1.5f / 1024);
  EXPECT_EQ(held[3], 1.5f / 1024);
  EXPECT_EQ(held[4], 5.5f / 1024);
  EXPECT_EQ(held[511], 509.5f / 1024);
}

TEST(Bitgrind, FractionalFoldsTruncateTheGroupButKeepTheGain) {
  Rig rig("bitgrind~");
  rig.send("2: 2.5");
  const Bitgrind& x = rig.record<Bitgrind>();
  EXPECT_FLOAT_EQ(x.foldSize, 5.656854f);
  EXPECT_EQ(x.foldGain, static_cast<float>(1.0 / 5.656854f));
  const auto out = rig.run(std::vector<float>(512, 0.5f));
  // Five samples of 0.5 times 1 / 2^2.5: about 12 % quieter.
  const float held = static_cast<float>(2.5 * x.foldGain);
  EXPECT_NEAR(held, 0.4419417, 1e-7);
  for (size_t i = 256; i < 512; i++) EXPECT_EQ(out[i], held) << i;
}

TEST(Bitgrind, GroupsPastTheHistoryEndUseOnlyTheSamplesThere) {
  // At 256, folds 2.5 leaves a last group of one sample (index 255).
  Rig rig = undelayed();
  rig.send("2: 2.5");
  const float gain = rig.record<Bitgrind>().foldGain;
  const auto steady = rig.run(std::vector<float>(256, 0.5f));
  for (float value : steady) EXPECT_EQ(value, static_cast<float>(2.5 * gain));
  const auto rising = rig.run(ramp(256, 1.0 / 256));
  EXPECT_EQ(rising[250], static_cast<float>(1260.0 / 256 * gain));  // 250 to 254
  EXPECT_EQ(rising[255], static_cast<float>(255.0 / 256 * gain * 5));

  // A block of 300 with folds 8: one group of 256, then one of 44.
  rig.dsp(44100.0f, 300);
  rig.send("2: 8");
  const auto longBlock = rig.run(ramp(300, 1.0 / 512));
  EXPECT_EQ(longBlock[0], 63.75f / 256);
  EXPECT_EQ(longBlock[256], static_cast<float>((256 + 299) * 22.0 / 512 / 44));
  EXPECT_EQ(longBlock[299], longBlock[256]);
}

TEST(Bitgrind, OddBlockSizesStayInsideTheBuffers) {
  std::vector<float> noise(3000);
  uint32_t state = 1;
  for (float& sample : noise) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<float>(state) / 2147483648.0f - 1.0f;
  }
  Rig reference = undelayed();
  reference.send("1: 5.5");
  const auto unfolded = reference.run(noise);
  for (int block : {1, 3, 63, 100, 255, 257, 300, 1000}) {
    for (const char* folds : {"2: 0", "2: 2.5", "2: 7.5", "2: 8"}) {
      Rig rig("bitgrind~", 44100.0f, block);
      rig.send("1: 5.5");
      rig.send(folds);
      const auto out = rig.run(noise);
      for (float value : out) ASSERT_TRUE(value >= -1.0f && value <= 1.0f) << block << folds;
      if (std::string(folds) == "2: 0") {
        const size_t lag = block < 256 ? static_cast<size_t>(256 - block) : 0;
        for (size_t i = lag; i < out.size(); i++) ASSERT_EQ(out[i], unfolded[i - lag]) << block;
      }
    }
  }
  // A block of no samples writes nothing (the vectors are empty: the
  // sanitizer build sees any write).
  Rig empty("bitgrind~", 44100.0f, 0);
  EXPECT_TRUE(empty.instance().run());
}

TEST(Bitgrind, BlockSizesUpTo256KeepTheHistoryLongerOnesClearIt) {
  Rig rig("bitgrind~");
  rig.run(impulse(64, 0.5f));  // waiting in the history
  rig.dsp(44100.0f, 128);
  EXPECT_EQ(rig.record<Bitgrind>().historyLength, 256);
  const auto kept = rig.run(std::vector<float>(128, 0.0f));
  EXPECT_EQ(first_nonzero(kept), 64);

  rig.run(impulse(128, 0.5f));
  rig.dsp(44100.0f, 512);
  EXPECT_EQ(rig.record<Bitgrind>().historyLength, 512);
  EXPECT_EQ(first_nonzero(rig.run(std::vector<float>(1024, 0.0f))), -1);
  EXPECT_EQ(first_nonzero(rig.run(impulse(512, 0.5f))), 0);

  std::vector<float> late(512, 0.0f);
  late[200] = 0.5f;
  EXPECT_EQ(first_nonzero(rig.run(late)), 200);
  rig.dsp(44100.0f, 64);
  EXPECT_EQ(rig.record<Bitgrind>().historyLength, 256);
  EXPECT_EQ(first_nonzero(rig.run(std::vector<float>(256, 0.0f))), -1);
  EXPECT_EQ(first_nonzero(rig.run(impulse(512, 0.5f))), 192);
}

TEST(Bitgrind, RefusedMemoryGivesSilenceUntilAResizeSucceeds) {
  Rig rig("bitgrind~");
  standin::limit_allocations(4096);
  rig.dsp(44100.0f, 2048);
  EXPECT_EQ(rig.console(), Lines{RESIZE_ERROR});
  EXPECT_EQ(rig.record<Bitgrind>().historyLength, 256);
  EXPECT_EQ(first_nonzero(rig.run(std::vector<float>(4096, 0.5f))), -1);
  standin::limit_allocations(0);
  rig.dsp(44100.0f, 2048);
  EXPECT_EQ(rig.record<Bitgrind>().historyLength, 2048);
  EXPECT_EQ(first_nonzero(rig.run(impulse(2048, 0.5f))), 0);
  EXPECT_TRUE(rig.console().empty());

  standin::limit_allocations(512);
  EXPECT_TRUE(standin::Instance::create("bitgrind~") == nullptr);
  standin::limit_allocations(0);
  EXPECT_EQ(rig.console(), Lines{"error: bitgrind~: could not create the object"});
}

TEST(Bitgrind, InPlaceVectorsGiveTheSameResult) {
  Rig separate("bitgrind~");
  Rig shared("bitgrind~");
  shared.dsp(44100.0f, 64, true);
  for (Rig* rig : {&separate, &shared}) {
    rig->send("1: 3.7");
    rig->send("2: 1.5");
  }
  const auto input = ramp(700, -0.0021);
  EXPECT_EQ(separate.run(input), shared.run(input));
}

TEST(Bitgrind, AssistTextsAndInlets) {
  Rig rig("bitgrind~");
  EXPECT_EQ(rig.instance().inlet_count(), 3);
  EXPECT_EQ(rig.instance().inlet_kind(0), standin::InletKind::Signal);
  EXPECT_EQ(rig.instance().inlet_kind(2), standin::InletKind::Float);
  EXPECT_EQ(rig.instance().assist(false, 0), "(signal) Input");
  EXPECT_EQ(rig.instance().assist(false, 1), "(float) Bit Depth (1-24)");
  EXPECT_EQ(rig.instance().assist(false, 2), "(float) Sample Folding (0-8)");
  EXPECT_EQ(rig.instance().assist(false, 3), "");
  EXPECT_EQ(rig.instance().assist(true, 0), "(signal) Output");
  EXPECT_EQ(rig.instance().assist(true, 4), "(signal) Output");
}

// bitgrind~ blends its two masked words in double, in extended precision
// only where the double sum rounds: with no folding its output is the input,
// 192 samples late at block 64, quantised as the extended blend quantises.
float bitgrind_reference(float sample, int count, float fraction) {
  int32_t fixed = 0;
  if (!std::isnan(sample)) {
    const double scaled = sample * 2147483648.0;
    fixed = scaled >= 2147483647.0 ? 2147483647 : scaled <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(scaled);
  }
  auto top = [](int bits) {
    uint32_t mask = 0;
    for (int bit = 31; bit > 31 - bits; bit--) mask |= 1u << bit;
    return static_cast<int32_t>(mask);
  };
  const int32_t coarse = fixed & top(count);
  const int32_t fine = fixed & top(count + 1);
  const long double blended = static_cast<long double>(fine - coarse) * fraction + coarse;
  return static_cast<float>(static_cast<int32_t>(blended) * 4.656612873077393e-10);
}

TEST(Bitgrind, MatchesTheExtendedBlendForEveryDepth) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> input(20000);
  for (size_t i = 0; i < input.size(); i++)
    input[i] = i % 7 == 0 ? float_of_bits(random()) : i % 3 == 0 ? std::ldexp(unit(random), -20) : unit(random);
  // Fractions of every size, among them a tiny one and one just below a
  // power of two, whose blends round in double against a large word.
  for (const double fraction : {0.5, 0.25, 0.999, 1.0e-30, 0x1.fffffep-27, 0x1.fffffep-2}) {
    for (int count : {1, 5, 12, 23}) {
      Rig rig("bitgrind~");
      char message[64];
      std::snprintf(message, sizeof message, "1: %.17g", count + fraction);
      rig.send(message);
      const auto out = rig.run(input);
      const float stored = static_cast<float>(count + fraction - count);
      for (size_t i = 192; i < input.size(); i++)
        ASSERT_EQ(bits_of(out[i]), bits_of(bitgrind_reference(input[i - 192], count, stored)))
            << i << " depth " << message;
    }
  }
}

}  // namespace
