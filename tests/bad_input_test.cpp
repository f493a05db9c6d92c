// What the three delays promise about bad audio: an input sample that is not
// a number, infinite or beyond 1e30 enters the loop as silence, so finite
// input gives finite output and one bad sample changes nothing but itself;
// and no sequence of messages, rate changes and block sizes puts a
// non-finite value into a state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "echoloom/echoloom.h"
#include "grainfall/grainfall.h"
#include "rig.h"
#include "tonewarp/tonewarp.h"

namespace {

struct Setting {
  const char* object;
  std::vector<std::string> messages;
};

// The settings the faults were found with, and the loudest loops.
const Setting SETTINGS[] = {
    {"echoloom~", {"feedback 200", "time 300"}},
    {"echoloom~", {"feedback 0"}},
    {"echoloom~", {"feedback 200", "heads 2", "lfoDepth 100", "lfoShape 5", "filterFreq 500", "resonance 100"}},
    {"tonewarp~", {"feedback 0"}},
    {"tonewarp~", {"feedback 200", "pitchFactor 19"}},
    {"grainfall~", {"feedback 200", "density 200", "grainSize 50"}},
};

// One second of a sine and three seconds of silence after it.
std::vector<float> sine_and_tail() {
  std::vector<float> signal(4 * 44100, 0.0f);
  for (size_t i = 0; i < 44100; i++) signal[i] = 0.5f * static_cast<float>(std::sin(0.0627 * static_cast<double>(i)));
  return signal;
}

std::vector<float> render(const Setting& setting, const std::vector<float>& input) {
  standin::seed_rand(1);
  Rig rig(setting.object);
  for (const std::string& message : setting.messages) rig.send(message);
  return rig.run(input);
}

// The first index at which two signals differ in their bits, or -1.
long first_difference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); i++)
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
  return -1;
}

size_t non_finite_count(const std::vector<float>& signal) {
  size_t count = 0;
  for (float sample : signal) count += std::isfinite(sample) ? 0 : 1;
  return count;
}

// A bad sample gives, bit for bit, what silence in its place gives.
TEST(BadInput, OneBadSampleIsSilenceInEveryDelay) {
  std::vector<float> clean = sine_and_tail();
  clean[20000] = 0.0f;
  for (const Setting& setting : SETTINGS) {
    const std::vector<float> expected = render(setting, clean);
    ASSERT_EQ(non_finite_count(expected), 0u) << setting.object;
    for (float bad : {NAN, INFINITY, -INFINITY, 1.5e30f, -3.0e38f}) {
      std::vector<float> input = clean;
      input[20000] = bad;
      const std::vector<float> out = render(setting, input);
      EXPECT_EQ(non_finite_count(out), 0u) << setting.object << " " << setting.messages[0] << " " << bad;
      EXPECT_EQ(first_difference(out, expected), -1) << setting.object << " " << setting.messages[0] << " " << bad;
    }
  }
}

// A burst of bad samples, then good audio: the output is what silence in
// the burst's place gives, without a new dsp call.
TEST(BadInput, ABurstOfNotANumberLeavesNoTrace) {
  std::vector<float> clean = sine_and_tail();
  std::fill(clean.begin() + 3000, clean.begin() + 3000 + 132, 0.0f);  // 3 ms
  for (const Setting& setting : SETTINGS) {
    std::vector<float> input = clean;
    std::fill(input.begin() + 3000, input.begin() + 3000 + 132, NAN);
    EXPECT_EQ(first_difference(render(setting, input), render(setting, clean)), -1) << setting.object << " " << setting.messages[0];
  }
}

// ---- Every state stays finite ---------------------------------------------

bool finite(float value) { return std::isfinite(value); }

bool stage_finite(const tildefx::WriteStage& stage) {
  const tildefx::ResonantLowpass& f = stage.lowpass;
  return finite(f.a0) && finite(f.a1) && finite(f.b1) && finite(f.b2) && finite(f.in1) && finite(f.in2) &&
         finite(f.out1) && finite(f.out2) && finite(stage.dcBlocker.pole) &&
         finite(stage.dcBlocker.lastIn) && finite(stage.dcBlocker.lastOut);
}

bool states_finite(standin::Instance& instance) {
  const std::string name = instance.name();
  if (name == "echoloom~") {
    const auto& x = *static_cast<const Echoloom*>(instance.record());
    return stage_finite(x.writeStage) && finite(x.lfoValue1) && finite(x.lfoValue2) &&
           finite(x.randomSlope) && finite(x.phase1) && finite(x.phase2) && finite(x.time.current) &&
           finite(x.depth.current) && finite(x.feedback.current) && finite(x.lfoFreq.current);
  }
  if (name == "tonewarp~") {
    const auto& x = *static_cast<const Tonewarp*>(instance.record());
    return stage_finite(x.writeStage) && finite(x.phase1) && finite(x.phase2) && finite(x.windowIndex1) &&
           finite(x.windowIndex2) && finite(x.time.current) && finite(x.depth.current) &&
           finite(x.feedback.current) && finite(x.shiftRate);
  }
  const auto& x = *static_cast<const Grainfall*>(instance.record());
  bool voices = true;
  for (const GrainVoice& voice : x.voices) voices = voices && finite(voice.position) && finite(voice.rate);
  return voices && stage_finite(x.writeStage) && finite(x.time.current) && finite(x.feedback.current);
}

// The rate ramp of a long block overshoots its target (its step covers the
// distance in 64 samples, whatever the block length): at a low sample rate a
// random segment's cycle then lasts less than a sample.
TEST(BadInput, EcholoomRandomShapeStaysFiniteWhenTheRateRampOvershoots) {
  Rig rig("echoloom~", 64.0f, 8192);
  for (const char* message : {"lfoShape 5", "lfoDepth 100", "heads 2", "feedback 200"}) rig.send(message);
  const std::vector<float> input(8192, 0.5f);
  for (int block = 0; block < 6; block++) {
    rig.send(block % 2 == 0 ? "lfoFreq 10" : "lfoFreq 0.01");
    ASSERT_EQ(non_finite_count(rig.run(input)), 0u) << block;
    ASSERT_TRUE(states_finite(rig.instance())) << block;
  }
  rig.dsp(63.0f, 64);
  EXPECT_EQ(rig.console(), std::vector<std::string>{"error: echoloom~: sample rate must be >= 64 Hz; the previous rate stays."});
  EXPECT_EQ(rig.record<Echoloom>().sampleRate, 64.0f);
}

// A small generator of its own, so the sequence is the same on every run.
struct Draws {
  uint32_t state = 12345u;
  uint32_t next() { return state = state * 1664525u + 1013904223u; }
  double unit() { return next() / 4294967296.0; }
  int below(int n) { return static_cast<int>(unit() * n); }
};

const char* const SELECTORS[] = {"time", "feedback", "lfoFreq", "lfoDepth", "lfoShape", "filterFreq",
                                 "resonance", "heads", "freeze", "feedbackSwitch", "loopDepth",
                                 "octave", "pitchFactor", "density", "grainSize", "octaveVariation"};

// Random messages (in range and beyond), rate changes from 1 Hz to 384 kHz,
// block sizes from 0 to 8192, and loud audio with bad samples in it.
TEST(BadInput, NoPathPutsANonFiniteValueIntoAState) {
  for (const char* object : {"echoloom~", "tonewarp~", "grainfall~"}) {
    standin::seed_rand(7);
    Rig rig(object);
    Draws draw;
    int blockSize = 64;
    for (int step = 0; step < 1000; step++) {
      const int action = draw.below(4);
      if (action == 0) {
        const char* selector = SELECTORS[draw.below(sizeof SELECTORS / sizeof SELECTORS[0])];
        const double value = draw.below(2) == 0 ? draw.unit() * 200.0 : draw.unit() * 12000.0 - 2000.0;
        rig.instance().send_text(std::string(selector) + " " + std::to_string(value));
      } else if (action == 1) {
        const int blocks[] = {0, 1, 7, 64, 100, 1024, 8192};
        blockSize = blocks[draw.below(7)];
        const float rates[] = {1.0f, 63.0f, 64.0f, 125.0f, 126.0f, 8000.0f, 44100.0f, 96000.0f, 384000.0f};
        rig.instance().dsp(rates[draw.below(9)], blockSize);
      } else {
        std::vector<float> input(static_cast<size_t>(blockSize) * static_cast<size_t>(1 + draw.below(40)));
        for (float& sample : input) sample = static_cast<float>(draw.unit() * 4.0 - 2.0);
        if (!input.empty() && action == 3) {
          const float bad[] = {NAN, INFINITY, -INFINITY, 1.0e31f, 1.0e-40f};
          input[static_cast<size_t>(draw.below(static_cast<int>(input.size())))] = bad[draw.below(5)];
        }
        const std::vector<float> out = rig.run(input);
        ASSERT_EQ(non_finite_count(out), 0u) << object << " step " << step;
      }
      ASSERT_TRUE(states_finite(rig.instance())) << object << " step " << step;
    }
    standin::take_console_lines();
  }
}

}  // namespace
