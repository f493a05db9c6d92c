#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "grainfall/grainfall.h"
#include "rig.h"

namespace {

using Lines = std::vector<std::string>;

Grainfall& state(Rig& rig) { return rig.record<Grainfall>(); }

// Runs silence one sample at a time (the rig runs blocks of 1) until the next
// grain starts; returns its voice.
const GrainVoice& next_grain(Rig& rig) {
  const int32_t before = state(rig).lastGrainStart;
  while (state(rig).lastGrainStart == before) rig.run({0.0f});
  const GrainVoice* newest = &state(rig).voices[0];
  for (const GrainVoice& voice : state(rig).voices)
    if (voice.active == 1 && voice.start >= newest->start) newest = &voice;
  return *newest;
}

int busy_voices(Rig& rig) {
  int busy = 0;
  for (const GrainVoice& voice : state(rig).voices) busy += voice.active;
  return busy;
}

std::vector<float> noise(size_t n, float height = 1.0f) {
  std::vector<float> signal(n);
  uint32_t seed = 1;
  for (float& s : signal) s = height * (static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f);
  return signal;
}

TEST(GrainfallObject, StartsQuietlyWithTwoInlets) {
  Rig rig("grainfall~");
  EXPECT_TRUE(rig.console().empty());
  EXPECT_EQ(state(rig).randomState, 907633515u);
  EXPECT_EQ(rig.instance().inlet_kind(1), standin::InletKind::List);
  EXPECT_EQ(rig.instance().assist(false, 1), "(signal) Input");
  EXPECT_EQ(rig.instance().assist(true, 0), "(signal) Output");
}

TEST(GrainfallObject, ParametersAcceptTheirBoundsAndRefuseBeyond) {
  // A plain target field, the target of a parameter that ramps, or (neither
  // given) the target of the time glide.
  struct Case {
    const char* selector; double low, high, scale; float Grainfall::*field;
    tildefx::BlockRamp Grainfall::*ramp; const char* range;
  };
  const Case cases[] = {
      {"time", 1.0, 10000.0, 1000.0, nullptr, nullptr, "1.0 ms and <= 10000.0 ms."},
      {"timeVariation", 0, 100, 100, nullptr, &Grainfall::timeVariation, "0% and <= 100%."},
      {"feedback", 0, 200, 200, nullptr, &Grainfall::feedback, "0% and <= 200%."},
      {"filterFreq", 20, 20000, 1, &Grainfall::targetFilterFreq, nullptr, "20 Hz and <= 20000 Hz."},
      {"resonance", 0, 100, 100, &Grainfall::targetResonance, nullptr, "0% and <= 100%."},
      {"density", 0, 200, 200, nullptr, &Grainfall::density, "0% and <= 200%."},
      {"grainSize", 0, 50, 50, nullptr, &Grainfall::grainSize, "0% and <= 50%."},
      {"grainStartVariation", 0, 100, 100, nullptr, &Grainfall::grainStartVariation, "0% and <= 100%."},
      {"octave", -4, 4, 1, &Grainfall::octave, nullptr, "-4.0 and <= 4.0."},
      {"octaveVariation", 0, 2, 1, nullptr, &Grainfall::octaveVariation, "0.0 and <= 2.0."},
      {"grainReversal", 0, 100, 100, nullptr, &Grainfall::grainReversal, "0% and <= 100%."}};
  const auto target = [](const Grainfall& x, const Case& c) {
    return c.field ? x.*c.field : c.ramp ? (x.*c.ramp).target : x.time.target;
  };
  Rig rig("grainfall~");
  for (const Case& c : cases) {
    const std::string name = c.selector;
    rig.send(name + " " + std::to_string(c.low));
    EXPECT_EQ(target(state(rig), c), static_cast<float>(c.low / c.scale)) << name;
    for (double value : {c.high, c.high + 0.5, c.low - 0.5}) rig.send(name + " " + std::to_string(value));
    EXPECT_EQ(target(state(rig), c), static_cast<float>(c.high / c.scale)) << name;
    const std::string error = "error: grainfall~: " + name + " value must be >= " + c.range;
    EXPECT_EQ(rig.console(), (Lines{error, error})) << name;
  }
}

TEST(GrainfallObject, TimeGlidesInOneHundredMillisecondsAndStopsOnTarget) {
  Rig rig("grainfall~", 44100.0f, 1);
  rig.send("time 500");
  EXPECT_NEAR(state(rig).time.step, 0.0000453515, 1e-10);
  rig.run(std::vector<float>(4409));
  rig.send("time 0.5");  // refused: the glide runs on
  EXPECT_LT(state(rig).time.current, 0.5f);
  rig.run(std::vector<float>(1));
  EXPECT_EQ(state(rig).time.current, 0.5f);
  EXPECT_EQ(state(rig).time.step, 0.0f);
  EXPECT_EQ(rig.console(), (Lines{"error: grainfall~: time value must be >= 1.0 ms and <= 10000.0 ms."}));
}

TEST(GrainfallObject, NoteListsHoldAndReleasePitchClassesInPressOrder) {
  Rig rig("grainfall~");
  for (const char* m : {"60 100", "64 100", "72 100", "60 0", "1: 65 100", "65 -20"}) rig.send(m);
  EXPECT_EQ(std::vector<int32_t>(state(rig).heldList, state(rig).heldList + 3), (std::vector<int32_t>{4, 0, 0}));
  EXPECT_EQ(state(rig).heldCount, 1);
  EXPECT_EQ(state(rig).heldFlags[0], 0.0f);
  rig.send("127 100");
  EXPECT_EQ(state(rig).octave, 5.0f);
  rig.send("0 1");
  EXPECT_EQ(state(rig).octave, -5.0f);
  rig.send("1001 100");  // no note sets an octave above note 127's
  EXPECT_EQ(state(rig).octave, 5.0f);
  for (const char* m : {"1: 60", "60 100 3", "-3 100", "list foo 63", "1: 64 word", "12tet", "12tet", "just"})
    rig.send(m);
  EXPECT_EQ(state(rig).heldCount, 4);
  EXPECT_EQ(state(rig).octave, 5.0f);
  EXPECT_EQ(rig.console(),
            (Lines{"error: grainfall~: need note and velocity", "error: grainfall~: need note and velocity",
                   "error: grainfall~: note values must be positive",
                   "error: grainfall~: note and velocity must be numbers",
                   "error: grainfall~: note and velocity must be numbers", "grainfall~: 12tet intonation.",
                   "grainfall~: 12tet intonation.", "grainfall~: just intonation."}));
}

TEST(GrainfallEngine, DefaultGrainsStartEvery207SamplesAndEchoAfter300Ms) {
  Rig rig("grainfall~");
  std::vector<float> out = rig.run(impulse(256));
  EXPECT_EQ(state(rig).voices[0].start, 207.0f);
  EXPECT_EQ(state(rig).voices[0].offset, 13232.001f);
  EXPECT_EQ(state(rig).grainInterval, 206.75002f);
  const std::vector<float> rest = rig.run(std::vector<float>(14000));
  out.insert(out.end(), rest.begin(), rest.end());
  EXPECT_EQ(state(rig).lastGrainStart, 207 * 68);
  size_t loudest = 0;
  for (size_t i = 0; i < out.size(); i++)
    if (std::fabs(out[i]) > std::fabs(out[loudest])) loudest = i;
  EXPECT_EQ(loudest, 13232u);
  EXPECT_EQ(out[13000], 0.0f);
}

TEST(GrainfallEngine, HeldPitchClassesAndOctavesSetTheRateOfNewGrains) {
  Rig rig("grainfall~", 44100.0f, 1);
  rig.send("67 100");
  EXPECT_EQ(next_grain(rig).rate, 1.5f);
  rig.send("12tet");
  EXPECT_EQ(next_grain(rig).rate, 1.4983071f);
  for (const char* m : {"just", "79 0", "79 100"}) rig.send(m);
  EXPECT_EQ(next_grain(rig).rate, 3.0f);
  rig.send("67 0");
  rig.send("octave -1");
  EXPECT_EQ(next_grain(rig).offset, 6616.0005f);  // half the reach back, at half speed
  rig.send("octave 0");
  rig.send("octaveVariation 2");
  std::map<float, int> rates;
  for (int grain = 0; grain < 400; grain++) rates[next_grain(rig).rate]++;
  EXPECT_EQ(rates.size(), 3u);
  EXPECT_NEAR(rates[0.5f], 100, 30);
  EXPECT_NEAR(rates[1.0f], 200, 30);
}

TEST(GrainfallEngine, ReversedGrainsStartAtTheSameReadPointAndMoveAway) {
  Rig forward("grainfall~");
  Rig reversed("grainfall~");
  reversed.send("grainReversal 100");
  forward.run(std::vector<float>(256));
  reversed.run(std::vector<float>(256));
  EXPECT_EQ(state(reversed).voices[0].rate, -1.0f);
  EXPECT_NEAR(state(forward).voices[0].position, 2097152 - 13232 + 207 + 49, 0.01);  // 49 steps either way
  EXPECT_NEAR(state(reversed).voices[0].position, 2097152 - 13232 + 207 - 49, 0.01);
}

TEST(GrainfallEngine, GrainsWaitForAFreeVoiceAndDensityZeroStopsThem) {
  Rig rig("grainfall~", 44100.0f, 1);
  for (const char* m : {"time 1000", "grainSize 50", "density 200", "grainStartVariation 100"}) rig.send(m);
  rig.run(std::vector<float>(5000));  // the time glide settles
  bool waited = false;
  for (const float sample : noise(100000)) {
    const Grainfall& g = state(rig);
    const int32_t t = g.sampleCount;
    const bool due = t > g.lastGrainStart + static_cast<double>(g.grainInterval);
    waited = waited || (due && busy_voices(rig) == 8);
    const bool voiceFree = busy_voices(rig) < 8;
    rig.run({sample});
    ASSERT_EQ(state(rig).lastGrainStart == t, due && voiceFree) << t;
  }
  EXPECT_TRUE(waited);
  EXPECT_NEAR(state(rig).voices[0].fadeOutStart - state(rig).voices[0].fadeInEnd, 22051 - 4410, 0.05);
  rig.send("density 0");
  rig.run({0.0f});
  const int32_t last = state(rig).lastGrainStart;
  const std::vector<float> tail = rig.run(std::vector<float>(50000));
  EXPECT_EQ(state(rig).lastGrainStart, last);
  EXPECT_EQ(busy_voices(rig), 0);
  EXPECT_EQ(tail.back(), 0.0f);
}

TEST(GrainfallEngine, LineStaysBoundedAndFiniteWhateverComesIn) {
  Rig rig("grainfall~");
  rig.run(std::vector<float>(128));
  EXPECT_EQ(state(rig).ringBuffer[127], 0.000001f);  // silence is written as 1e-6
  for (const char* m : {"feedback 200", "time 5", "filterFreq 2000", "resonance 100", "grainSize 0"}) rig.send(m);
  std::vector<float> loud = noise(44100, 100.0f);
  loud[500] = std::numeric_limits<float>::quiet_NaN();
  loud[501] = std::numeric_limits<float>::infinity();
  for (const float s : rig.run(loud)) ASSERT_LT(std::fabs(s), 8.0f);
  for (int i = 0; i < 44100; i++) ASSERT_LE(std::fabs(state(rig).ringBuffer[i]), 1.5707974f) << i;
  rig.send("grainSize 1e-43");  // a grain too short for a finite window step
  for (const float s : rig.run(noise(2000))) ASSERT_TRUE(std::isfinite(s));
}

TEST(GrainfallEngine, GrainsPlayOnWhenTheCountPassesItsLimit) {
  Rig rig("grainfall~");
  state(rig).sampleCount = std::numeric_limits<int32_t>::max() - 20000;
  state(rig).lastGrainStart = state(rig).sampleCount;
  const std::vector<float> out = rig.run(noise(40000));
  EXPECT_EQ(state(rig).sampleCount, 40000 - 20001);
  EXPECT_GT(state(rig).lastGrainStart, state(rig).sampleCount - 208);
  for (const GrainVoice& voice : state(rig).voices) EXPECT_LT(voice.end, 40000.0f);
  for (size_t start = 20000; start < out.size(); start += 1000) {  // every stretch after the turn sounds
    float peak = 0.0f;
    for (size_t i = start; i < start + 1000; i++) peak = std::max(peak, std::fabs(out[i]));
    EXPECT_GT(peak, 0.05f) << start;
  }
}

TEST(GrainfallEngine, FarReadPointsAndOddRatesStayInsideTheLine) {
  Rig rig("grainfall~", 10000000.0f);
  for (const char* m : {"127 100", "time 10000", "octaveVariation 2", "timeVariation 100", "grainSize 0"}) rig.send(m);
  for (const float s : rig.run(noise(1100000))) ASSERT_TRUE(std::isfinite(s));
  float farthest = 0.0f;
  for (const GrainVoice& voice : state(rig).voices) {
    farthest = std::max(farthest, voice.offset);
    EXPECT_TRUE(voice.position >= 0.0f && voice.position <= 2097152.0f);
  }
  EXPECT_GT(farthest, 4.0e9f);  // far beyond the 32-bit range
  rig.console();
  rig.dsp(50.0f, 64);
  rig.dsp(20000000.0f, 64);
  EXPECT_EQ(state(rig).sampleRate, 10000000.0f);
  const std::string error = "error: grainfall~: sample rate must be >= 64 Hz and <= 10000000 Hz.";
  EXPECT_EQ(rig.console(), (Lines{error, error}));
}

TEST(GrainfallEngine, SameOutputForAnyBlockSizeAndInPlace) {
  const std::vector<float> input = noise(30000);
  Rig reference("grainfall~");
  const std::vector<float> expected = reference.run(input);
  for (int block : {1, 37, 64}) {
    Rig rig("grainfall~", 44100.0f, block);
    rig.dsp(44100.0f, block, block == 64);
    EXPECT_EQ(rig.run(input), expected) << block;
  }
  Rig empty("grainfall~", 44100.0f, 0);
  empty.send("feedback 100");
  empty.instance().run();
  EXPECT_EQ(state(empty).feedback.current, 0.5f);  // a block of 0 samples still ends the ramps
}

TEST(GrainfallObject, RefusesToExistWithoutItsDelayLine) {
  standin::take_console_lines();
  standin::limit_allocations(1 << 20);
  EXPECT_EQ(standin::Instance::create("grainfall~"), nullptr);
  standin::limit_allocations(0);
  std::vector<std::string> lines;
  for (const auto& line : standin::take_console_lines()) lines.push_back(standin::format_console_line(line));
  EXPECT_EQ(lines, (Lines{"error: grainfall~: not enough memory for the delay line.",
                          "error: grainfall~: could not create the object"}));
}

}  // namespace
