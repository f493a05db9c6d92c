#include <gtest/gtest.h>

#include "delay_line.h"
#include "glide.h"
#include "interpolate4.h"
#include "random_next.h"

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
  float current = 0.3f;
  const float target = 0.5f;
  float step = static_cast<float>((static_cast<double>(target) - current) / (44100.0 * 0.1f));
  int samples = 0;
  while (step != 0.0f && samples < 10000) {
    tildefx::glide_step(current, target, step);
    samples++;
  }
  EXPECT_EQ(current, target);
  EXPECT_EQ(step, 0.0f);
  EXPECT_NEAR(samples, 4410, 1);
}

TEST(Glide, AStepTooSmallToMoveTheValueLandsAtOnce) {
  float current = 0.8f;
  const float target = 0.8000001f;
  float step = static_cast<float>((static_cast<double>(target) - current) / 22050.0);
  tildefx::glide_step(current, target, step);
  EXPECT_EQ(current, target);
  EXPECT_EQ(step, 0.0f);
}

TEST(Glide, CountedGlideLandsWhenTheCountRunsOut) {
  int blocksLeft = 2;
  float current = 0.25f;
  float step = 0.01f;
  tildefx::glide_count_block(blocksLeft, current, 0.5f, step);
  tildefx::glide_count_block(blocksLeft, current, 0.5f, step);
  EXPECT_EQ(current, 0.25f);
  tildefx::glide_count_block(blocksLeft, current, 0.5f, step);
  EXPECT_EQ(current, 0.5f);
  EXPECT_EQ(step, 0.0f);
  EXPECT_EQ(blocksLeft, 0);
}

TEST(DelayLine, LowpassTakesTheTangentBranchFromATenthOfTheRate) {
  // At 44100 Hz, 4410 Hz rounds to m just above 0.1: the tangent branch.
  const auto below = tildefx::lowpass_coefficients(4409.0f, 0.5f, 44100.0f);
  const auto above = tildefx::lowpass_coefficients(4410.0f, 0.5f, 44100.0f);
  const float kBelow = static_cast<float>(1.0 / (static_cast<double>(4409.0f / 44100.0f) * tildefx::PI_FLOAT));
  EXPECT_EQ(below.a0, static_cast<float>(1.0 / ((0.75710678f * static_cast<double>(kBelow) + 1.0) +
                                                static_cast<double>(kBelow) * kBelow)));
  const float kAbove = static_cast<float>(std::tan((0.5 - static_cast<float>(4410.0 / 44100.0)) * tildefx::PI_FLOAT));
  EXPECT_EQ(above.a0, static_cast<float>(1.0 / ((0.75710678f * static_cast<double>(kAbove) + 1.0) +
                                                static_cast<double>(kAbove) * kAbove)));
  EXPECT_EQ(above.a1, 2.0f * above.a0);
}

TEST(DelayLine, LowpassPassesDirectCurrentAtUnityGain) {
  const auto c = tildefx::lowpass_coefficients(1000.0f, 0.0f, 44100.0f);
  float in1 = 0, in2 = 0, out1 = 0, out2 = 0, y = 0;
  for (int i = 0; i < 20000; i++) y = tildefx::lowpass_tick(c, 1.0f, in1, in2, out1, out2);
  EXPECT_NEAR(y, 1.0f, 1e-4);
}

TEST(DelayLine, DcBlockerRemovesAnOffsetAndTheLineSampleStaysBounded) {
  const float pole = tildefx::dc_blocker_pole(44100.0f);
  EXPECT_EQ(pole, 0.99714285f);
  float lastIn = 0, lastOut = 0, y = 0;
  for (int i = 0; i < 44100; i++) y = tildefx::dc_block(0.5f, pole, lastIn, lastOut);
  EXPECT_NEAR(y, 0.0f, 1e-6);
  EXPECT_EQ(tildefx::saturate_for_line(0.0f), 1.0e-6f);
  EXPECT_LT(tildefx::saturate_for_line(1.0e30f), 1.5707974f);
}

}  // namespace
