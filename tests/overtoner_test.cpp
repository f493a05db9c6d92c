#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bits.h"
#include "overtoner/overtoner.h"
#include "rig.h"

namespace {

using Lines = std::vector<std::string>;
const std::string LEVEL_ERROR = "error: overtoner~: value must be >= -60.0dB and <= 0.0dB.";

TEST(Overtoner, DefaultsPassTheInputAlmostUnchanged) {
  Rig rig("overtoner~");
  const auto out = rig.run({1.0f, 0.0f, 0.5f, -1.0f});
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 0.0f);
  EXPECT_NEAR(out[2], (0.5 - 0.001) / 1.005, 1e-6);
  // T2..T7 at -1 are 1, -1, 1, -1, -1
  EXPECT_NEAR(out[3], -1.001 / 1.005, 1e-6);
  EXPECT_EQ(rig.record<Overtoner>().normGain, static_cast<float>(1.0 / 1.005f));
}

TEST(Overtoner, AllPartialsAtFullLevelAverageThePolynomials) {
  Rig rig("overtoner~");
  for (const char* message : {"p1 0", "p2 0", "p3 0", "p4 0", "p5 0", "p7 0"}) rig.send(message);
  const auto out = rig.run({-1.0f, 1.0f, 0.5f});
  EXPECT_NEAR(out[0], -2.0 / 6.0, 1e-7);
  EXPECT_EQ(out[1], 1.0f);
  // T1..T7 at 0.5: 0.5, -0.5, -1, -0.5, 0.5, 0.5
  EXPECT_NEAR(out[2], -0.5 / 6.0, 1e-7);
}

// Far beyond any audio, the seventh partial alone would overflow a float.
TEST(Overtoner, HugeFiniteInputGivesFiniteOutput) {
  Rig rig("overtoner~");
  for (const char* message : {"p1 0", "p2 0", "p3 0", "p4 0", "p5 0", "p7 0"}) rig.send(message);
  const auto out = rig.run({131072.0f, 1e10f, 3e38f, -131072.0f, -1e20f, NAN});
  for (size_t i = 0; i < 5; i++) EXPECT_TRUE(std::isfinite(out[i])) << i << ": " << out[i];
  EXPECT_GT(out[0], 1e36f);
  EXPECT_EQ(out[1], out[0]);
  EXPECT_EQ(out[2], out[0]);
  EXPECT_EQ(out[4], out[3]);
  EXPECT_TRUE(std::isnan(out[5]));
}

TEST(Overtoner, SecondPartialDoublesTheFrequencyOfACosine) {
  Rig rig("overtoner~");
  for (const char* message : {"p1 -60", "p2 0", "p3 -60", "p4 -60", "p5 -60", "p7 -60"}) rig.send(message);
  const size_t period = 64;
  std::vector<float> cosine(period * 4);
  for (size_t i = 0; i < cosine.size(); i++)
    cosine[i] = static_cast<float>(std::cos(2.0 * M_PI * static_cast<double>(i) / period));
  const auto out = rig.run(cosine);
  for (size_t i = 0; i < cosine.size(); i++) {
    const double twice = std::cos(4.0 * M_PI * static_cast<double>(i) / period);
    EXPECT_NEAR(out[i], twice, 0.01) << i;
  }
}

TEST(Overtoner, InputsBeyondFullScaleAreNotLimited) {
  Rig rig("overtoner~");
  const auto out = rig.run({2.0f});
  // (2 + 0.001 * (7 + 26 + 97 + 362 + 5042)) / 1.005
  EXPECT_NEAR(out[0], 7.5, 0.05);
}

TEST(Overtoner, LevelsMustLieBetweenMinusSixtyAndZeroDecibels) {
  Rig rig("overtoner~");
  rig.send("p3 -60");
  EXPECT_EQ(rig.record<Overtoner>().level3, 0.001f);
  rig.send("p3 0.5");
  rig.send("p7 -61");
  rig.send("p1 -60.0001");
  EXPECT_EQ(rig.console(), (Lines{LEVEL_ERROR, LEVEL_ERROR, LEVEL_ERROR}));
  EXPECT_EQ(rig.record<Overtoner>().level3, 0.001f);
  EXPECT_EQ(rig.record<Overtoner>().level7, 0.0f);
  EXPECT_EQ(rig.record<Overtoner>().level1, 1.0f);
  rig.send("p6 0");
  EXPECT_EQ(rig.console(), (Lines{"error: overtoner~: no method for 'p6'"}));
}

TEST(Overtoner, LevelChangesTakeEffectAtTheNextBlock) {
  Rig rig("overtoner~", 44100.0f, 4);
  const std::vector<float> ones(4, 0.5f);
  const float before = rig.run(ones)[0];
  rig.send("p2 0");
  const float after = rig.run(ones)[0];
  EXPECT_NE(before, after);
  // T2..T7 at 0.5 are -0.5, -1, -0.5, 0.5, 0.5; T2 now weighs 1.0
  EXPECT_NEAR(after, (0.5 - 0.5 + 0.001 * (-1.0 - 0.5 + 0.5 + 0.5)) / 2.004, 1e-6);
}

TEST(Overtoner, InPlaceAndEmptyBlocks) {
  Rig separate("overtoner~");
  Rig shared("overtoner~");
  shared.dsp(44100.0f, 64, true);
  for (Rig* rig : {&separate, &shared}) rig->send("p5 -3");
  std::vector<float> ramp(300);
  for (size_t i = 0; i < ramp.size(); i++) ramp[i] = static_cast<float>(i) / 150.0f - 1.0f;
  EXPECT_EQ(separate.run(ramp), shared.run(ramp));

  // A block of no samples writes nothing (the vectors are empty: the
  // sanitizer build sees any write).
  Rig empty("overtoner~", 44100.0f, 0);
  EXPECT_TRUE(empty.instance().run());
}

// A sample of 0 (or -0) gives the weighted sum as defined, a4 - a2 in
// extended precision times the gain: 0 where the two weights are equal, as
// at the defaults, and otherwise the same small value for every zero, alone
// or in a block of silence.
TEST(Overtoner, ZerosGiveTheDefinedSum) {
  for (const std::vector<std::string>& levels :
       {std::vector<std::string>{}, {"p2 -6", "p4 -12"}, {"p2 -0.5", "p4 -0.25", "p1 -60"}}) {
    Rig rig("overtoner~");
    for (const std::string& message : levels) rig.send(message);
    const auto out = rig.run({0.0f, -0.0f, 0.25f, 0.0f});
    const Overtoner& x = rig.record<Overtoner>();
    const long double sum = -static_cast<long double>(x.weights[1]) + x.weights[3];
    const float expected = static_cast<float>(static_cast<double>(static_cast<float>(sum)) * x.normGain);
    for (size_t i : {0u, 1u, 3u}) EXPECT_EQ(out[i], expected) << levels.size() << " " << i;
    for (size_t i : {0u, 1u, 3u}) EXPECT_EQ(std::signbit(out[i]), std::signbit(expected)) << levels.size();
    for (float silent : rig.run(std::vector<float>(130, -0.0f))) {  // whole blocks of silence, and a part
      EXPECT_EQ(silent, expected) << levels.size();
      EXPECT_EQ(std::signbit(silent), std::signbit(expected)) << levels.size();
    }
  }
}

TEST(Overtoner, RecordsRateInDsp) {
  Rig rig("overtoner~", 48000.0f, 128);
  EXPECT_EQ(rig.record<Overtoner>().sampleRate, 48000.0f);
}

// overtoner~ sums its weighted partials in double and only falls back to the
// extended-precision sum near a rounding boundary or for |input| > 1: its
// output must be that of the extended sum everywhere.
float overtoner_reference(float s, const float a[6], float normGain) {
  s = s > 131072.0f ? 131072.0f : s < -131072.0f ? -131072.0f : s;  // input is held within ±2^17
  const double xd = s;
  const float m = static_cast<float>(xd * xd);
  const double md = m;
  const float t2 = static_cast<float>(md + md - 1.0);
  const float t3 = static_cast<float>(xd * (4.0 * md - 3.0));
  const float t4 = static_cast<float>(md * (8.0 * md - 8.0) + 1.0);
  const float t5 = static_cast<float>(xd * (md * (16.0 * md - 20.0) + 5.0));
  const float t7 = static_cast<float>(xd * (md * (md * (64.0 * md - 112.0) + 56.0) - 7.0));
  long double acc = static_cast<long double>(a[1]) * t2 + static_cast<long double>(a[0]) * s;
  acc += static_cast<long double>(a[2]) * t3;
  acc += static_cast<long double>(a[3]) * t4;
  acc += static_cast<long double>(a[4]) * t5;
  acc += static_cast<long double>(a[5]) * t7;
  return static_cast<float>(static_cast<double>(static_cast<float>(acc)) * normGain);
}

TEST(Overtoner, MatchesTheExtendedSumForEveryKindOfInput) {
  Rig rig("overtoner~", 44100.0f, 100);
  const char* levels[] = {"p1 -1", "p2 -6", "p3 -3", "p4 -12", "p5 -9", "p7 -20"};
  for (const char* level : levels) rig.send(level);
  std::mt19937 random(5);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> input(200000);
  for (size_t i = 0; i < input.size(); i++) {
    switch (i % 5) {
      case 0: input[i] = unit(random); break;
      case 1: input[i] = unit(random) * 1.0e-3f; break;
      case 2: input[i] = unit(random) * 40.0f; break;  // loud: beyond the fast path's range
      case 3: input[i] = float_of_bits(random()); break;  // any bits: NaN, infinities, huge
      default: input[i] = std::nextafter(1.0f, 2.0f * unit(random)); break;  // around +-1
    }
  }
  const auto out = rig.run(input);
  const auto& x = rig.record<Overtoner>();
  float a[6];
  const float levelValues[6] = {x.level1, x.level2, x.level3, x.level4, x.level5, x.level7};
  for (int k = 0; k < 6; k++) a[k] = static_cast<float>(std::pow(10.0, 3.0 * levelValues[k] - 3.0));
  for (size_t i = 0; i < input.size(); i++)
    ASSERT_EQ(bits_of(out[i]), bits_of(overtoner_reference(input[i], a, x.normGain))) << i << " " << input[i];
}

}  // namespace
