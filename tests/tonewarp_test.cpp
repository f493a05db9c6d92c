#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "rig.h"
#include "tonewarp/tonewarp.h"

namespace {

using Lines = std::vector<std::string>;
std::string error_line(const std::string& text) { return "error: tonewarp~: " + text; }
const std::string TIME_ERROR = error_line("time value must be >= 1.0 ms and <= 5000.0 ms.");
const std::string PITCH_ERROR = error_line("pitchFactor values must between 0 and 1200 cents.");
const std::string DEPTH_ERROR = error_line("lfoDepth value must be >= 10.0% and <= 100.0%.");

std::vector<float> silence(size_t n) { return std::vector<float>(n, 0.0f); }

std::vector<float> sine(size_t n, double hz) {
  std::vector<float> signal(n);
  for (size_t i = 0; i < n; i++)
    signal[i] = static_cast<float>(0.25 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 44100.0));
  return signal;
}

// The frequency from the rising zero crossings after sample `from`, each
// placed between its two samples by linear interpolation.
double measured_frequency(const std::vector<float>& signal, size_t from) {
  double first = 0.0, last = 0.0;
  int crossings = 0;
  for (size_t i = from + 1; i < signal.size(); i++) {
    if (signal[i - 1] >= 0.0f || signal[i] < 0.0f) continue;
    last = static_cast<double>(i - 1) + signal[i - 1] / (static_cast<double>(signal[i - 1]) - signal[i]);
    if (crossings++ == 0) first = last;
  }
  return (crossings - 1) * 44100.0 / (last - first);
}

TEST(Tonewarp, DefaultImpulseReturnsEvery13231SamplesAsItsArctangent) {
  Rig rig("tonewarp~");
  const auto out = rig.run(impulse(3 * 13231 + 200));
  EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 13230, [](float s) { return s == 0.0f; }));
  const double heights[] = {0.785, 0.666, 0.588};
  for (size_t echo = 1; echo <= 3; echo++) {
    const auto around = out.begin() + static_cast<long>(echo * 13231 - 200);
    const auto peak = std::max_element(around, around + 400);
    EXPECT_EQ(peak - out.begin(), static_cast<long>(echo * 13231)) << echo;
    EXPECT_NEAR(*peak, heights[echo - 1], 0.002) << echo;
  }
}

TEST(Tonewarp, ShiftsAToneByTheIntervalAndOctaves) {
  // 210 Hz repeats every 210 samples; the window half-width of 4410 samples
  // (400 ms at 25 %) holds 21 periods, so the crossfaded taps stay in phase.
  struct Case { const char* octave; const char* interval; double ratio; };
  const Case cases[] = {{"octave 1", "pitchFactor 0", 2.0},
                        {"octave -1", "pitchFactor 0", 0.5},
                        {"octave 0", "pitchFactor 19", 1.5},
                        {"octave 0", "pitchFactor 18", std::pow(2.0, 7.0 / 12.0)},
                        {"octave 0.5", "pitchFactor 10", std::sqrt(2.0) * 1.25}};
  for (const Case& c : cases) {
    Rig rig("tonewarp~");
    for (const char* message : {"time 400", "feedback 0", c.octave, c.interval}) rig.send(message);
    const auto out = rig.run(sine(88200, 210.0));
    EXPECT_NEAR(measured_frequency(out, 30000) / 210.0, c.ratio, 1.0e-4) << c.octave << ", " << c.interval;
  }
}

TEST(Tonewarp, SilenceSettlesAtTheLineOffsetAcrossTheTapJumps) {
  for (const char* octave : {"octave 1", "octave -1", "octave 3"}) {
    Rig rig("tonewarp~");
    for (const char* message : {"time 20", "feedback 0", "pitchFactor 34", octave}) rig.send(message);
    const auto out = rig.run(silence(44100));
    for (size_t i = 30000; i < out.size(); i++) ASSERT_NEAR(out[i], 1.0e-6, 1.0e-11) << octave << " at " << i;
  }
}

TEST(Tonewarp, TimeGlideTakesHalfASecondAndLandsOnTheTarget) {
  Rig rig("tonewarp~");
  auto& x = rig.record<Tonewarp>();
  rig.send("time 800");
  rig.run(silence(22050 - 64));
  EXPECT_LT(x.time.current, 0.8f);
  rig.send("time 0.5");
  EXPECT_EQ(rig.console(), Lines{TIME_ERROR});
  rig.run(silence(128));
  EXPECT_EQ(x.time.current, 0.8f);
  EXPECT_EQ(x.time.step, 0.0f);
  // A distance so small that its step cannot move the float still lands.
  rig.send("time 800.0001");
  EXPECT_NE(x.time.target, 0.8f);
  rig.run(silence(64));
  EXPECT_EQ(x.time.current, x.time.target);
  EXPECT_EQ(x.time.step, 0.0f);
}

TEST(Tonewarp, DepthGlideRunsOneSecondOfBlocksThenLands) {
  Rig rig("tonewarp~");
  auto& x = rig.record<Tonewarp>();
  rig.send("loopDepth 50");
  EXPECT_EQ(x.depth.blocksLeft, 689);
  EXPECT_EQ(x.depth.step, static_cast<float>(0.25 / 44100.0));
  rig.run(silence(689 * 64));
  EXPECT_NEAR(x.depth.current, 0.25 + 689 * 64 * 0.25 / 44100.0, 5.0e-4);  // float steps drift a little
  EXPECT_LT(x.depth.current, 0.5f);
  rig.send("loopDepth 5");
  EXPECT_EQ(rig.console(), Lines{DEPTH_ERROR});
  rig.run(silence(64));
  EXPECT_EQ(x.depth.current, 0.5f);
  EXPECT_EQ(x.depth.step, 0.0f);
  // The next glide counts with the rate and block size of the last dsp call.
  rig.dsp(48000.0f, 128);
  rig.send("loopDepth 100");
  EXPECT_EQ(x.depth.blocksLeft, 375);
  EXPECT_EQ(x.depth.step, static_cast<float>(0.5 / 48000.0));
}

TEST(Tonewarp, DepthGlideKeepsItsLengthWhenTheBlockSizeGrows) {
  Rig rig("tonewarp~");  // 64-sample blocks when the glide starts
  auto& x = rig.record<Tonewarp>();
  rig.send("loopDepth 100");
  rig.dsp(44100.0f, 512);
  float deepest = 0.0f;
  for (int block = 0; block < 100; block++) {
    rig.run(silence(512));
    deepest = std::max(deepest, x.depth.current);
  }
  EXPECT_LT(deepest, 1.01f);
  EXPECT_EQ(x.depth.current, 1.0f);
}

TEST(Tonewarp, IntervalTableHoldsItsExactRatios) {
  Rig rig("tonewarp~");
  const float* table = rig.record<Tonewarp>().intervalTable;
  EXPECT_EQ(table[0], 1.0f);
  EXPECT_EQ(table[34], 2.0f);
  const int equalTempered[] = {1, 4, 8, 11, 14, 16, 18, 22, 25, 29, 33};
  for (int semitones = 1; semitones <= 11; semitones++)
    EXPECT_EQ(table[equalTempered[semitones - 1]], static_cast<float>(std::pow(2.0, semitones / 12.0)));
  const int fractions[][3] = {{2, 16, 15}, {3, 10, 9}, {5, 9, 8},   {6, 8, 7},   {7, 7, 6},   {9, 6, 5},
                              {10, 5, 4},  {12, 9, 7}, {13, 4, 3},  {15, 7, 5},  {17, 10, 7}, {19, 3, 2},
                              {20, 14, 9}, {21, 11, 7}, {23, 8, 5}, {24, 5, 3},  {26, 12, 7}, {27, 7, 4},
                              {28, 16, 9}, {30, 9, 5}, {31, 13, 7}, {32, 15, 8}};
  for (const auto& [k, numerator, denominator] : fractions) {
    // Exact in double: the entry is nearest when neither neighbour is nearer.
    const auto miss = [&](float f) { return std::fabs(static_cast<double>(f) * denominator - numerator); };
    EXPECT_LE(miss(table[k]), miss(std::nextafter(table[k], 0.0f))) << k;
    EXPECT_LE(miss(table[k]), miss(std::nextafter(table[k], 3.0f))) << k;
  }
  for (int k = 0; k < 34; k++) EXPECT_LT(table[k], table[k + 1]) << k;
}

TEST(Tonewarp, MessagesTakeTheirBoundsAndRefuseWhatLiesBeyond) {
  Rig rig("tonewarp~");
  auto& x = rig.record<Tonewarp>();
  for (const char* message : {"time 1", "time 0.5", "time 5001", "pitchFactor -0.5", "pitchFactor 34.9",
                              "pitchFactor 35", "pitchFactor -1", "feedback 200", "feedback -1", "octave -3",
                              "octave 3.5", "loopDepth 10", "loopDepth 100.01"})
    rig.send(message);
  EXPECT_EQ(rig.console(), (Lines{TIME_ERROR, TIME_ERROR, PITCH_ERROR, PITCH_ERROR,
                                  error_line("feedback value must be >= 0% and <= 200%."),
                                  error_line("octave value must be >= -3.0 and <= 3.0."), DEPTH_ERROR}));
  EXPECT_EQ(x.time.target, 0.001f);
  EXPECT_EQ(x.pitchIndex, 34);
  EXPECT_EQ(x.feedback.target, 1.0f);
  EXPECT_EQ(x.octave, -3.0f);
  EXPECT_EQ(x.depth.target, 0.1f);
  rig.run(silence(64));
  EXPECT_EQ(x.shiftRate, -0.75f);  // octave -3 of the octave: a ratio of 0.25
  Lines selectors;
  for (const auto& binding : rig.instance().class_info().messages) selectors.push_back(binding.selector);
  EXPECT_EQ(selectors, (Lines{"time", "pitchFactor", "feedback", "octave", "loopDepth"}));
  EXPECT_EQ(rig.instance().assist(false, 3), "(signal) Input");
  EXPECT_EQ(rig.instance().assist(true, 1), "(signal) Output");
}

TEST(Tonewarp, EmptyBlockWritesNothingButEndsTheBlock) {
  Rig rig("tonewarp~");
  auto& x = rig.record<Tonewarp>();
  rig.dsp(44100.0f, 0);
  for (const char* message : {"loopDepth 50", "feedback 20", "octave 1"}) rig.send(message);
  rig.instance().run();
  EXPECT_EQ(x.shiftRate, 1.0f);
  EXPECT_EQ(x.depth.blocksLeft, 0);  // no block length: the glide lands at the block's end
  EXPECT_EQ(x.feedback.current, 0.1f);
  EXPECT_EQ(x.depth.current, 0.5f);
  EXPECT_EQ(x.writeIndex, 0);
}

TEST(Tonewarp, InPlaceVectorsGiveTheSameOutput) {
  Rig separate("tonewarp~");
  Rig shared("tonewarp~");
  shared.dsp(44100.0f, 64, true);
  for (Rig* rig : {&separate, &shared})
    for (const char* message : {"time 30", "octave -0.7", "feedback 150", "loopDepth 60"}) rig->send(message);
  const auto input = sine(20000, 330.0);
  EXPECT_EQ(separate.run(input), shared.run(input));
}

TEST(Tonewarp, PhaseWrapsEndQuicklyWhenTheWindowShrinksAbruptly) {
  alarm(30);  // a wrap that never ends fails the run instead of hanging it
  Rig rig("tonewarp~");
  auto& x = rig.record<Tonewarp>();
  for (const char* message : {"time 5000", "loopDepth 100", "octave 3", "pitchFactor 34"}) rig.send(message);
  rig.run(silence(100000));
  while (std::fabs(x.phase1) < 100000.0f) rig.run(silence(64));
  rig.dsp(126.0f, 64);  // the window goes from 441000 samples to 1260
  rig.run(silence(64));
  const float halfWidth = x.depth.current * x.time.current * 126.0f;
  EXPECT_LE(std::fabs(x.phase1), halfWidth * 1.0001f);
  EXPECT_LE(std::fabs(x.phase2), halfWidth * 1.0001f);
  // Far beyond a tiny window, where a step of 2L no longer changes the float.
  rig.send("time 1");
  rig.run(silence(128));
  x.phase1 = 1.0e7f;
  const auto out = rig.run(silence(64));
  EXPECT_LE(std::fabs(x.phase1), 0.126f);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
  alarm(0);
}

TEST(Tonewarp, LongDeepSweepsAtHighRatesReadOnlyFromTheLinesHistory) {
  Rig rig("tonewarp~", 192000.0f);
  for (const char* message : {"time 5000", "loopDepth 100", "feedback 0", "octave 1"}) rig.send(message);
  rig.run(silence(200000));
  // The taps span 5 s +- 0.46 s: nothing of the impulse may come back sooner.
  const auto out = rig.run(impulse(860000));
  EXPECT_LT(*std::max_element(out.begin(), out.end()), 1.0e-5f);
}

TEST(Tonewarp, RefusesRatesTooLowForItsHighPass) {
  Rig rig("tonewarp~");
  rig.dsp(100.0f, 32);
  EXPECT_EQ(rig.console(), Lines{error_line("sample rate must be >= 126 Hz; the previous rate stays.")});
  EXPECT_EQ(rig.record<Tonewarp>().sampleRate, 44100.0f);
  EXPECT_EQ(rig.record<Tonewarp>().vectorSize, 32.0f);
}

TEST(Tonewarp, RefusesTheInstanceWhenItsLineCannotBeAllocated) {
  standin::limit_allocations(1 << 20);
  const auto instance = standin::Instance::create("tonewarp~");
  standin::limit_allocations(0);
  EXPECT_EQ(instance, nullptr);
  Lines lines;
  for (const auto& line : standin::take_console_lines()) lines.push_back(standin::format_console_line(line));
  EXPECT_EQ(lines, (Lines{error_line("not enough memory for the delay line."),
                          "error: tonewarp~: could not create the object"}));
}

}  // namespace
