#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "crossfade.h"
#include "delay_line.h"
#include "float_rounding.h"
#include "glide.h"
#include "held_writes.h"
#include "interpolate4.h"
#include "processor_path.h"
#include "random_next.h"
#include "resonant_lowpass.h"
#include "silence.h"

namespace {

using tildefx::interpolate4;

TEST(Interpolate4, MeetsTheSamplesAtTheEndsOfTheSegment) {
  EXPECT_EQ(interpolate4(0.0f, 0.3f, -0.7f, 0.25f, 0.9f), -0.7f);
  EXPECT_NEAR(interpolate4(1.0f, 0.3f, -0.7f, 0.25f, 0.9f), 0.25f, 1e-7);  // up to rounding
}

TEST(Interpolate4, ReproducesLinesAndConstants) {
  for (float x : {0.0f, 0.125f, 0.5f, 0.75f, 0.999f}) {
    EXPECT_EQ(interpolate4(x, -1.0f, 0.0f, 1.0f, 2.0f), x);
    EXPECT_EQ(interpolate4(x, 0.4f, 0.4f, 0.4f, 0.4f), 0.4f);
  }
}

TEST(Interpolate4, OvershootsBetweenTwoEqualSamples) {
  EXPECT_EQ(interpolate4(0.5f, 0.0f, 1.0f, 1.0f, 0.0f), 1.125f);
}

TEST(Interpolate4, RoundsEachCoefficientToAFloat) {
  // y values chosen so that c1 = 0.5 * (y1 - y-1) is not a float: only the
  // rounded coefficients give this exact result.
  const float y[4] = {0.1f, 0.7f, 0.3f, -0.2f};
  const float c1 = static_cast<float>(0.5 * (static_cast<double>(y[2]) - y[0]));
  const float d = static_cast<float>(static_cast<double>(y[0]) - y[1]);
  const float c3 = static_cast<float>((static_cast<double>(y[1]) - y[2]) + 0.5 * ((static_cast<double>(y[3]) - d) - y[2]));
  const float c2 = static_cast<float>((static_cast<double>(d) + c1) - c3);
  const double x = 0.3f;
  EXPECT_EQ(interpolate4(0.3f, y[0], y[1], y[2], y[3]),
            static_cast<float>(y[1] + x * (c1 + x * (c2 + x * c3))));
}

TEST(RandomNext, FollowsTheGeneratorFromZero) {
  uint32_t state = 0;
  EXPECT_EQ(tildefx::random_next(state), 907633515u);
  EXPECT_EQ(tildefx::random_next(state), 2641306770u);
  EXPECT_EQ(tildefx::random_next(state), 4111285669u);
  EXPECT_EQ(state, 4111285669u);
  EXPECT_NEAR(tildefx::random_unipolar(907633515u), 0.211324895, 1e-9);
}

TEST(Glide, MovesBySteppingAndStopsExactlyOnTheTarget) {
  tildefx::Glide glide{0.3f, 0.3f, 0.0f};
  tildefx::glide_to(glide, 0.5f, 44100.0 * 0.1f);
  EXPECT_EQ(glide.step, static_cast<float>((0.5 - static_cast<double>(0.3f)) / (44100.0 * 0.1f)));
  int samples = 0;
  while (glide.step != 0.0f && samples < 10000) {
    tildefx::glide_step(glide);
    samples++;
  }
  EXPECT_EQ(glide.current, 0.5f);
  EXPECT_EQ(glide.target, 0.5f);
  EXPECT_NEAR(samples, 4410, 1);
  tildefx::glide_to(glide, 0.2f, 22050.0);  // and back down, from where it stands
  for (int i = 0; i < 22050; i++) tildefx::glide_step(glide);
  EXPECT_EQ(glide.current, 0.2f);
  EXPECT_EQ(glide.step, 0.0f);
}

TEST(Glide, AStepTooSmallToMoveTheValueLandsAtOnce) {
  tildefx::Glide glide{0.8f, 0.8f, 0.0f};
  tildefx::glide_to(glide, 0.8000001f, 22050.0);
  tildefx::glide_step(glide);
  EXPECT_EQ(glide.current, 0.8000001f);
  EXPECT_EQ(glide.step, 0.0f);
}

TEST(Glide, CountedGlideRunsOneSecondOfBlocksAndThenLands) {
  tildefx::CountedGlide glide{0.25f, 0.25f, 0.0f, 0};
  tildefx::glide_in_one_second(glide, 0.5f, 44100.0f, 64.0f);
  EXPECT_EQ(glide.step, static_cast<float>(0.25 / 44100.0));
  EXPECT_EQ(glide.blocksLeft, 689);
  for (int block = 0; block < 689; block++) {
    for (int i = 0; i < 64; i++) tildefx::counted_glide_step(glide);
    tildefx::count_block(glide);
  }
  EXPECT_EQ(glide.blocksLeft, 0);
  EXPECT_LT(glide.current, 0.5f);
  tildefx::count_block(glide);
  EXPECT_EQ(glide.current, 0.5f);
  EXPECT_EQ(glide.step, 0.0f);
}

// Without a block length there are no blocks to count: the glide lands at
// the end of the next block, whatever the rate.
TEST(Glide, BlocksInOneSecondAndTheEmptyBlock) {
  EXPECT_EQ(tildefx::blocks_in_one_second(44100.0f, 64.0f), 689);
  EXPECT_EQ(tildefx::blocks_in_one_second(48000.0f, 128.0f), 375);
  EXPECT_EQ(tildefx::blocks_in_one_second(44100.9f, 1.0f), 44100);
  EXPECT_EQ(tildefx::blocks_in_one_second(1.0e30f, 1.0f), 2147483647);
  EXPECT_EQ(tildefx::blocks_in_one_second(44100.0f, 0.0f), 0);
  tildefx::CountedGlide glide{0.0f, 0.0f, 0.0f, 0};
  tildefx::glide_in_one_second(glide, 0.2f, 44100.0f, 0.0f);
  tildefx::count_block(glide);
  EXPECT_EQ(glide.current, 0.2f);
}

// A new block length converts the count so that the glide lasts as many
// samples as before; with no block length left it lands at the next block.
TEST(Glide, CountedGlideKeepsItsLengthInSamples) {
  tildefx::CountedGlide glide{0.5f, 0.25f, 0.001f, 689};
  tildefx::keep_glide_length(glide, 64.0f, 512.0f);
  EXPECT_EQ(glide.blocksLeft, 86);  // 689 * 64 / 512 = 86.1
  tildefx::keep_glide_length(glide, 512.0f, 1.0f);
  EXPECT_EQ(glide.blocksLeft, 86 * 512);
  tildefx::keep_glide_length(glide, 1.0f, 0.0f);
  EXPECT_EQ(glide.blocksLeft, 0);
  tildefx::keep_glide_length(glide, 0.0f, 64.0f);
  EXPECT_EQ(glide.blocksLeft, 0);
}

// Rounding on the double below the smallest normal float gives the float's
// own rounding, bit for bit: at every tie between two steps of the denormal
// range (ties go to even), beside them, at the border to the normal floats,
// and for values of every size and sign.
TEST(FloatRounding, TinyRoundingGivesTheFloatsValues) {
  const tildefx::TinyRounding tiny;
  const auto check = [&](double v) {
    const double expected = static_cast<float>(v);
    const double found = tiny(v);
    return found == expected && std::signbit(found) == std::signbit(expected);
  };
  int wrong = 0;
  for (int64_t k = 0; k <= (1 << 23); k++) {
    const double tie = (static_cast<double>(k) + 0.5) * 0x1p-149;
    for (double v : {tie, -tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1.0)}) wrong += !check(v);
  }
  uint64_t state = 12345;
  for (int i = 0; i < 1000000; i++) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double mantissa = 1.0 + static_cast<double>(state >> 12) * 0x1p-52;
    const int exponent = static_cast<int>((state >> 1) % 400) - 300;  // 2^-300 up to 2^99
    const double v = std::ldexp(mantissa, exponent);
    wrong += !check(v) + !check(-v);
  }
  for (double v : {0.0, -0.0, 0x1p-126, std::nextafter(0x1p-126, 0.0), 0x1p-150, 0x1.8p-150, 1.0e300, static_cast<double>(INFINITY)})
    wrong += !check(v) + !check(-v);
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(std::isnan(tiny(NAN)));
  EXPECT_TRUE(tildefx::below_normal_floats(0x1p-127));
  EXPECT_FALSE(tildefx::below_normal_floats(0.0));
  EXPECT_FALSE(tildefx::below_normal_floats(0x1p-126));
}

TEST(Silence, AllZeroSeesAnyBitButTheSign) {
  std::vector<float> block(67, 0.0f);
  block[13] = -0.0f;
  EXPECT_TRUE(tildefx::all_zero(block.data(), 67));
  EXPECT_TRUE(tildefx::all_zero(block.data(), 0));
  for (float odd : {1.0e-45f, -1.0e-45f, NAN, 1.0f}) {
    block[66] = odd;
    EXPECT_FALSE(tildefx::all_zero(block.data(), 67)) << odd;
    EXPECT_TRUE(tildefx::all_zero(block.data(), 66)) << odd;
  }
}

// The AVX2 routines run where the processor has AVX2, unless the
// environment asks for the baseline (as one run of the golden test does).
TEST(ProcessorPath, ChoosesAvx2WhereThereIsAvx2AndNotAskedOtherwise) {
  __builtin_cpu_init();
  const bool expected = __builtin_cpu_supports("avx2") && std::getenv("TILDEFX_BASELINE") == nullptr;
  EXPECT_EQ(tildefx::use_avx2(), expected);
  host::PerformRoutine baseline = [](host::Word* w) { return w; };
  host::PerformRoutine avx2 = [](host::Word* w) { return w + 1; };
  EXPECT_EQ(tildefx::routine_for_processor(baseline, avx2), expected ? avx2 : baseline);
}

TEST(DelayLine, LowpassTakesTheTangentBranchFromATenthOfTheRate) {
  // At 44100 Hz, 4410 Hz rounds to m just above 0.1: the tangent branch.
  tildefx::ResonantLowpass below, above;
  below.set(4409.0f, 0.5f, 44100.0f);
  above.set(4410.0f, 0.5f, 44100.0f);
  const float kBelow = static_cast<float>(1.0 / (static_cast<double>(4409.0f / 44100.0f) * tildefx::PI_FLOAT));
  EXPECT_EQ(below.a0, static_cast<float>(1.0 / ((0.75710678f * static_cast<double>(kBelow) + 1.0) +
                                                static_cast<double>(kBelow) * kBelow)));
  const float kAbove = static_cast<float>(std::tan((0.5 - static_cast<float>(4410.0 / 44100.0)) * tildefx::PI_FLOAT));
  EXPECT_EQ(above.a0, static_cast<float>(1.0 / ((0.75710678f * static_cast<double>(kAbove) + 1.0) +
                                                static_cast<double>(kAbove) * kAbove)));
  EXPECT_EQ(above.a1, 2.0f * above.a0);
}

// The coefficients are computed again whenever a setting changes, and kept
// while none does.
TEST(DelayLine, LowpassFollowsEveryChangeOfItsSettings) {
  tildefx::ResonantLowpass kept;
  const float settings[][3] = {{1000, 0.5f, 44100}, {1000, 0.5f, 44100}, {2000, 0.5f, 44100},
                               {2000, 0.7f, 44100}, {2000, 0.7f, 48000}, {1000, 0.5f, 44100}};
  for (const auto& setting : settings) {
    kept.set(setting[0], setting[1], setting[2]);
    tildefx::ResonantLowpass fresh;
    fresh.set(setting[0], setting[1], setting[2]);
    EXPECT_EQ(kept.a0, fresh.a0) << setting[0] << " " << setting[1] << " " << setting[2];
    EXPECT_EQ(kept.a1, fresh.a1);
    EXPECT_EQ(kept.b1, fresh.b1);
    EXPECT_EQ(kept.b2, fresh.b2);
  }
}

TEST(DelayLine, LowpassPassesDirectCurrentAtUnityGain) {
  tildefx::ResonantLowpass lowpass;
  lowpass.set(1000.0f, 0.0f, 44100.0f);
  float y = 0;
  for (int i = 0; i < 20000; i++) y = lowpass.tick(1.0f);
  EXPECT_NEAR(y, 1.0f, 1e-4);
  EXPECT_EQ(lowpass.in1, 1.0f);
  EXPECT_EQ(lowpass.out1, y);
}

TEST(DelayLine, DcBlockerRemovesAnOffsetAndTheLineSampleStaysBounded) {
  tildefx::DcBlocker blocker;
  blocker.set_rate(44100.0f);
  EXPECT_EQ(blocker.pole, 0.99714285f);
  float y = 0;
  for (int i = 0; i < 44100; i++) y = blocker.tick(0.5f);
  EXPECT_NEAR(y, 0.0f, 1e-6);
  EXPECT_EQ(tildefx::saturate_for_line(0.0f), 1.0e-6f);
  EXPECT_LT(tildefx::saturate_for_line(1.0e30f), 1.5707974f);
}

TEST(DelayLine, ReadsFourMaskedSlotsAcrossTheWrap) {
  // Slots 6, 7, 0, 1 hold the straight line -2, -1, 0, 1.
  float samples[8] = {0, 1, 2, 3, 9, 9, -2, 0};
  const tildefx::DelayLine line{samples, 7};
  line.write(15, -1.0f);  // slot 7
  EXPECT_EQ(samples[7], -1.0f);
  EXPECT_EQ(line.read(7, 0.25f), -0.75f);
  EXPECT_EQ(line.read(-1, 0.25f), -0.75f);  // the same slots through the mask
  EXPECT_EQ(line.read(1, 0.5f), 1.5f);
}

// On a line whose every slot holds its own index, the cubic reproduces the
// straight line: a read p samples behind the write index gives the sample
// p - 1 behind it, and a read at a position gives that position.
TEST(DelayLine, ReadPlacesBehindTheWriteIndexAndFromTheStart) {
  std::vector<float> samples(1024);
  for (size_t i = 0; i < samples.size(); i++) samples[i] = static_cast<float>(i);
  const tildefx::DelayLine line{samples.data(), 1023};
  for (float position : {2.0f, 2.5f, 13.75f, 500.125f, 598.0f}) {
    const tildefx::ReadPlace place = tildefx::place_behind(600, position, 1023);
    EXPECT_EQ(place.index, 600 - static_cast<int32_t>(position)) << position;
    EXPECT_EQ(line.read(place), 600.0f - position + 1.0f) << position;
    EXPECT_EQ(line.read(tildefx::place_at(position, 1023)), position) << position;
  }
  EXPECT_EQ(tildefx::place_behind(1, 4.5f, 1023).index, 1021);  // across the wrap
  const tildefx::ReadPlace before = tildefx::place_at(-3.25f, 1023);
  EXPECT_EQ(before.index, 1021);
  EXPECT_EQ(before.fraction, -0.25f);
  EXPECT_EQ(tildefx::place_at(3.0e9f, 1023).index, static_cast<int32_t>(3000000000LL & 1023));
}

// The triangle is the one the tables held, and two reads half a cycle apart
// have weights that add up to exactly 1: equal reads come out unchanged at
// every step, and a read at the start of its cycle is silent.
TEST(Crossfade, TwoReadsHalfACycleApartKeepTheirSum) {
  const int32_t steps = 1 << 20;
  for (int32_t k : {0, 1, 1000, steps / 4, steps / 2 - 1, steps / 2, steps / 2 + 7, steps - 1}) {
    const double exact = k < steps / 2 ? 4.0 * k / steps - 1.0 : 3.0 - 4.0 * k / steps;
    EXPECT_EQ(tildefx::crossfade_triangle(k, steps), static_cast<float>(exact)) << k;
    const int32_t opposite = (k + steps / 2) & (steps - 1);
    for (float read : {0.3f, -0.71f, 1.0e-6f})
      EXPECT_EQ(tildefx::crossfade_two_reads(read, k, read, opposite, steps), read) << k;
  }
  EXPECT_EQ(tildefx::crossfade_two_reads(0.9f, 0, -0.4f, steps / 2, steps), -0.4f);
  EXPECT_EQ(tildefx::crossfade_two_reads(0.9f, steps / 4, -0.4f, 3 * steps / 4, steps),
            static_cast<float>(0.5 * static_cast<float>(0.9f * 1.0 + -0.4f * 1.0)));
}

// Input that is not a number, infinite or beyond 1e30 enters the loop as
// silence; every gain threshold and the bypass choose their stage.
TEST(WriteStage, TakesBadInputAsSilenceAndKeepsItsStatesFinite) {
  tildefx::WriteStage stage;
  stage.lowpassRuns = true;
  stage.lowpass.set(1000.0f, 1.0f, 44100.0f);
  stage.dcBlocker.set_rate(44100.0f);
  const float silence = stage.line_sample(0.0f, 1.0f, 0.0f);
  for (float bad : {NAN, INFINITY, -INFINITY, 2.0e30f, -1.0e38f}) {
    EXPECT_EQ(stage.line_sample(bad, 1.0f, 0.0f), silence) << bad;
    EXPECT_EQ(stage.lowpass.in1, 0.0f) << bad;
    EXPECT_EQ(stage.dcBlocker.lastIn, 0.0f) << bad;
  }
  EXPECT_NE(stage.line_sample(1.0e30f, 1.0f, 0.0f), silence);  // the largest size still enters
  EXPECT_TRUE(std::isfinite(stage.lowpass.out1));

  tildefx::WriteStage above;
  above.dcAboveGain = 1.0f;
  above.dcBlocker.set_rate(44100.0f);
  above.line_sample(0.5f, 1.0f, 0.25f);  // a gain of 1 leaves the blocker still
  EXPECT_EQ(above.dcBlocker.lastIn, 0.0f);
  above.line_sample(0.5f, 1.5f, 0.25f);
  EXPECT_EQ(above.dcBlocker.lastIn, 0.875f);
}

// Writes held back behind the reads give what writing each sample at once
// gives, also when the reads reach the newest samples, and over blocks
// longer than the writes held.
TEST(HeldWrites, ReadsSeeEveryEarlierWriteOfTheChunk) {
  for (int reach : {1, 2, 3, 5, 40, 63, 64, 65, 66, 100, 130}) {
    std::vector<float> held(256, 0.0f), direct(256, 0.0f), in(150), outHeld(150), outDirect(150);
    for (size_t i = 0; i < in.size(); i++) in[i] = static_cast<float>(std::sin(0.1 * static_cast<double>(i)));
    tildefx::WriteStage stage;
    stage.dcBlocker.set_rate(44100.0f);

    tildefx::WriteStage directStage = stage;
    const tildefx::DelayLine directLine{direct.data(), 255};
    for (int i = 0; i < 150; i++) {
      const float fed = directLine.read(i - reach, 0.5f);
      directLine.write(i, directStage.line_sample(in[i], 0.9f, fed));
      outDirect[i] = fed;
    }

    const tildefx::DelayLine heldLine{held.data(), 255};
    tildefx::HeldWrites writes(heldLine, 0, stage, in.data(), outHeld.data());
    int32_t writeIndex = 0;
    tildefx::run_reads_then_writes(writes, 150, [&](int i) {
      const int32_t readIndex = (writeIndex - reach) & 255;
      writes.before_read(i, writeIndex, readIndex);
      writes.hold(i, 0.9f, heldLine.read(readIndex, 0.5f));
      writeIndex = (writeIndex + 1) & 255;
    });
    EXPECT_EQ(held, direct) << reach;
    EXPECT_EQ(outHeld, outDirect) << reach;
    EXPECT_EQ(writes.stage.dcBlocker.lastOut, directStage.dcBlocker.lastOut) << reach;
  }
}

}  // namespace
