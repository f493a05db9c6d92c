#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "delay_line.h"
#include "resonant_lowpass.h"
#include "echoloom/echoloom.h"
#include "interpolate4.h"
#include "rig.h"

namespace {

using tildefx::interpolate4;
using tildefx::saturate_for_line;
constexpr float N = 1048576.0f;

Echoloom& state(Rig& rig) { return rig.record<Echoloom>(); }

// How far behind the write index the first head read its last sample.
int32_t first_head_distance(Rig& rig) {
  return (state(rig).writeIndex - 1 - state(rig).readIndex1) & state(rig).indexMask;
}

std::vector<float> test_signal(size_t n) {
  std::vector<float> signal(n);
  for (size_t i = 0; i < n; i++) signal[i] = 0.6f * std::sin(0.05f * static_cast<float>(i * i % 977));
  return signal;
}

TEST(Echoloom, DefaultImpulseReturnsAfter4411SamplesAndRepeats) {
  Rig rig("echoloom~");
  const auto out = rig.run(impulse(3 * 4411 + 1, 0.5f));
  for (size_t j = 0; j < 4411; j++) ASSERT_NEAR(out[j], 0.0, 1e-5) << j;
  // The head reads the slot written 4411 samples back, between two silent
  // slots and the first sample written after the impulse.
  EXPECT_EQ(out[4411], interpolate4(1.0f, 0.0f, 0.0f, saturate_for_line(0.5f), 1.0e-6f));
  EXPECT_NEAR(out[4411], 0.4636, 1e-4);
  EXPECT_NEAR(out[8822], std::atan(out[4411]) + 1e-6, 1e-6);
  EXPECT_NEAR(out[13233], std::atan(out[8822]) + 1e-6, 1e-6);
}

TEST(Echoloom, SwitchAtZeroAlternatesTheRepeats) {
  Rig rig("echoloom~");
  rig.send("feedbackSwitch 0");
  const auto out = rig.run(impulse(3 * 4411 + 1, 0.5f));
  EXPECT_NEAR(out[4411], 0.4636, 1e-4);
  EXPECT_NEAR(out[8822], -std::atan(out[4411]) + 1e-6, 1e-6);
  EXPECT_NEAR(out[13233], -std::atan(out[8822]) + 1e-6, 1e-6);
}

TEST(Echoloom, DcBlockerRunsOnlyAboveUnityGain) {
  struct Case { const char* feedback; const char* polarity; bool runs; };
  for (const Case& c : {Case{"feedback 200", "feedbackSwitch 0", false},
                        Case{"feedback 100", "feedbackSwitch 1", false},
                        Case{"feedback 150", "feedbackSwitch 1", true}}) {
    Rig rig("echoloom~");
    rig.send(c.feedback);
    rig.send(c.polarity);
    rig.run(impulse(3 * 4411 + 1, 0.5f));
    EXPECT_EQ(state(rig).writeStage.dcBlocker.lastIn != 0.0f, c.runs) << c.feedback << ", " << c.polarity;
  }
}

// The feedback ramp seen through the line: a constant repeat c meets a gain
// that ramps from 0 towards -1 by 1/64 of the distance per sample, whatever
// the block length, and lands on the target at the end of the block.
TEST(Echoloom, RampsUseAFixedSixtyFourthPerSample) {
  for (int block : {32, 64, 128}) {
    Rig rig("echoloom~", 44100.0f, block);
    rig.send("time 10");  // 441 samples: the head reads 442 back
    rig.send("feedback 0");
    rig.run(std::vector<float>(8192, 0.5f));
    const float c = saturate_for_line(0.5f);
    rig.send("feedbackSwitch 0");
    rig.send("feedback 100");
    const auto out = rig.run(std::vector<float>(1024, 0.0f));
    auto written = [&](int i) {
      if (i < 0) return c;
      const double gain = i < block ? i / 64.0 : 1.0;
      return saturate_for_line(static_cast<float>(-gain * c));
    };
    for (int i = 0; i < 300; i++)
      ASSERT_EQ(out[442 + i], interpolate4(1.0f, written(i - 2), written(i - 1), written(i), written(i + 1)))
          << "block " << block << ", sample " << i;
  }
}

TEST(Echoloom, FreezeLoopsTheLineAndIgnoresTheInput) {
  Rig oneHead("echoloom~");
  Rig twoHeads("echoloom~");
  const auto history = test_signal(8832);
  oneHead.run(history);
  twoHeads.run(history);
  oneHead.send("freeze 1");
  twoHeads.send("freeze 1");
  twoHeads.send("heads 2");
  const auto loop = oneHead.run(std::vector<float>(8832, 0.0f));
  EXPECT_EQ(twoHeads.run(test_signal(8832)), loop);
  for (size_t j = 0; j + 4412 < loop.size(); j++) ASSERT_EQ(loop[j + 4412], loop[j]) << j;
  oneHead.send("freeze 0.9");
  oneHead.send("feedback 0");
  const auto after = oneHead.run(std::vector<float>(4608, 0.5f));
  EXPECT_NEAR(after[4600], std::atan(0.5) + 1e-6, 1e-6);  // the input is heard again
}

TEST(Echoloom, GlidesLandExactlyOnTheirTargets) {
  Rig rig("echoloom~");
  rig.send("lfoDepth 50");
  EXPECT_EQ(state(rig).depth.step, static_cast<float>(0.5 / 44100.0));
  EXPECT_EQ(state(rig).depth.blocksLeft, 689);
  rig.send("time 200");
  EXPECT_EQ(state(rig).time.step, static_cast<float>((0.2f - 0.1) / (44100.0 * 0.1f)));
  rig.run(std::vector<float>(64 * 68));
  EXPECT_LT(state(rig).time.current, 0.2f);  // about 4410 samples
  rig.run(std::vector<float>(64 * 2));
  EXPECT_EQ(state(rig).time.current, state(rig).time.target);
  EXPECT_EQ(state(rig).time.step, 0.0f);
  rig.run(std::vector<float>(64 * 619));
  EXPECT_EQ(state(rig).depth.blocksLeft, 0);
  EXPECT_NE(state(rig).depth.current, 0.5f);
  rig.run(std::vector<float>(64));
  EXPECT_EQ(state(rig).depth.current, 0.5f);
  EXPECT_EQ(state(rig).depth.step, 0.0f);
}

TEST(Echoloom, RefusedValuesPrintTheirLineAndChangeNothing) {
  struct Case { const char* selector; double low, high, step; const char* error; };
  const Case cases[] = {
      {"time", 1, 5000, 1e-6, "time value must be >= 1.0 ms and <= 5000.0 ms."},
      {"feedback", 0, 200, 1e-6, "feedback value must be >= 0% and <= 200%."},
      {"lfoFreq", 0.01, 10, 1e-6, "lfoFreq value must be >= 0.01 Hz and <= 10.0 Hz."},
      {"lfoDepth", 0, 100, 1e-6, "lfoDepth value must be >= 0.0% and <= 100.0%."},
      {"lfoShape", 0, 5, 1e-6, "lfoShape value must be either 0, 1, 2, 3, 4, or 5."},
      {"lfoPhase", -180, 180, 1, "lfoPhase value must be >= -180 deg and <= 180 deg."},
      {"filterFreq", 20, 20000, 1e-6, "filterFreq value must be >= 20 Hz and <= 20000 Hz."},
      {"resonance", 0, 100, 1e-6, "resonance value must be >= 0% and <= 100%."},
      {"feedbackSwitch", 0, 1, 1e-6, "feedbackSwitch value must be 0 or 1."},
      {"freeze", 0, 1, 1e-6, "freeze value must be 0 or 1."},
      {"heads", 1, 2, 0.5, "head value must be 1 or 2."}};
  Rig rig("echoloom~");
  for (const Case& c : cases) {
    for (double bound : {c.low, c.high}) rig.send(std::string(c.selector) + " " + std::to_string(bound));
    EXPECT_TRUE(rig.console().empty()) << c.selector;
    std::vector<char> before(sizeof(Echoloom));
    std::memcpy(before.data(), &state(rig), sizeof(Echoloom));
    for (double beyond : {c.low - c.step, c.high + c.step}) {
      char text[64];
      std::snprintf(text, sizeof text, "%s %.17g", c.selector, beyond);
      rig.send(text);
    }
    const std::string line = std::string("error: echoloom~: ") + c.error;
    EXPECT_EQ(rig.console(), (std::vector<std::string>{line, line}));
    EXPECT_EQ(std::memcmp(before.data(), &state(rig), sizeof(Echoloom)), 0) << c.selector;
  }
}

TEST(Echoloom, AcceptedValuesAreConverted) {
  Rig rig("echoloom~");
  const Echoloom& x = state(rig);
  const std::pair<const char*, std::function<bool()>> cases[] = {
      {"feedback 200", [&] { return x.feedback.target == 1.0f; }},
      {"heads 1.5", [&] { return x.secondHead == 0; }},
      {"heads 2", [&] { return x.secondHead == 1; }},
      {"freeze 0.9", [&] { return x.freeze == 0; }},
      {"feedbackSwitch 0.99", [&] { return x.feedbackSwitch == 0; }},
      // The angle places the first head in its cycle.
      {"lfoPhase -180", [&] { return x.phase1 == 0.0f; }},
      {"lfoPhase 0", [&] { return x.phase1 == N / 2; }},
      {"lfoPhase 90", [&] { return x.phase1 == 0.75f * N; }},
      {"lfoPhase 180", [&] { return x.phase1 == 0.0f; }}};
  for (const auto& [message, holds] : cases) {
    rig.send(message);
    EXPECT_TRUE(holds()) << message;
  }
}

TEST(Echoloom, ShapeNumbersChooseTheirTables) {
  Rig rig("echoloom~");
  Echoloom& x = state(rig);
  const std::pair<const char*, float*> cases[] = {
      {"lfoShape 0.8", x.sineTable},   {"lfoShape 0.9", x.triangleTable},
      {"lfoShape 2", x.squareTable},   {"lfoShape 2.6", x.rampUpTable},
      {"lfoShape 4", x.rampDownTable}, {"lfoShape 4.2", x.rampDownTable},
      {"lfoShape 6", x.rampDownTable}};
  for (const auto& [message, table] : cases) {
    rig.send(message);
    EXPECT_EQ(x.lfoTable, table) << message;
  }
  EXPECT_EQ(x.shapeValue, static_cast<float>(4.2 / 5.0));
  EXPECT_EQ(x.triangleTable[0], -1.0f);
  EXPECT_EQ(x.triangleTable[524288], 1.0f);
  EXPECT_EQ(x.sineTable[262144], 1.0f);
  EXPECT_EQ(x.sineTable[524288], -8.742278e-8f);  // 2 pi is a float
}

// With the square shape the heads sit at D * (1 +- depth) + 1 samples; with
// two heads, the one at the start of its cycle is silent.
TEST(Echoloom, ModulationSwingsTheDelayOfEachHead) {
  for (bool twoHeads : {false, true}) {
    Rig rig("echoloom~");
    for (const char* message : {"lfoShape 2", "lfoDepth 50", "lfoFreq 0.01", "feedback 0"}) rig.send(message);
    if (twoHeads) rig.send("heads 2");
    rig.run(std::vector<float>(64 * 690));  // the depth glide ends
    rig.send("lfoPhase -180");
    const auto out = rig.run(impulse(6617, 0.5f));
    EXPECT_NEAR(out[6616], twoHeads ? 0.0 : 0.4636, 2e-3) << twoHeads;
    EXPECT_NEAR(out[2206], twoHeads ? 0.4636 : 0.0, 2e-3) << twoHeads;
  }
}

// Each wrap of the first head's cycle draws one goal from rand; lfoValue1
// then runs in a straight line to it, and the second head mirrors it.
TEST(Echoloom, RandomShapeDrawsOneGoalPerCycle) {
  standin::seed_rand(777);
  std::vector<float> goals;
  for (int k = 0; k < 8; k++)
    goals.push_back(static_cast<float>(static_cast<float>(host::rand() / 32767.0) * 2.0 - 1.0));
  Rig rig("echoloom~");
  for (const char* message : {"lfoShape 5", "lfoFreq 10", "lfoDepth 100", "heads 2"}) rig.send(message);
  rig.run(std::vector<float>(44160));  // the depth glide ends
  standin::seed_rand(777);
  rig.dsp(44100.0f, 1);
  const Echoloom& x = state(rig);
  const float rate = static_cast<float>(10.0 / 44100.0);
  size_t drawn = 0;
  for (int i = 0; i < 22100; i++) {
    const float before = x.phase1;
    rig.run({0.0f});
    if (x.phase1 < before) {
      if (drawn > 0) {
        ASSERT_NEAR(x.lfoValue1, goals[drawn - 1], 1e-3);
      }
      ASSERT_EQ(x.randomSlope, static_cast<float>((static_cast<double>(goals[drawn]) - x.lfoValue1) * rate));
      drawn++;
    }
    ASSERT_EQ(x.lfoValue2, -x.lfoValue1);
    ASSERT_EQ(x.phase2, std::fmod(x.phase1 + N / 2, N));
  }
  EXPECT_GE(drawn, 5u);
}

// a0 of the low-pass for the cutoff f at 44100 Hz and 50 % resonance.
double lowpass_a0(double f) {
  const double m = static_cast<float>(f / 44100.0);
  const double cot = m < 0.1 ? 1.0 / (m * tildefx::PI_FLOAT) : std::tan((0.5 - m) * tildefx::PI_FLOAT);
  const double r = static_cast<float>(0.5 * (std::sqrt(2.0) - 0.1) + 0.1);
  return 1.0 / (1.0 + r * cot + cot * cot);
}

TEST(Echoloom, FilterBranchesAndBypass) {
  for (double cutoff : {4409.0, 4410.0, 19000.0, 19001.0}) {
    Rig rig("echoloom~");
    rig.send("filterFreq " + std::to_string(cutoff));
    const auto out = rig.run(impulse(4412, 0.5f));
    const double gain = cutoff > 19000.0 ? 1.0 : lowpass_a0(cutoff);
    EXPECT_NEAR(out[4411], std::atan(0.5 * gain), 2e-6) << cutoff;
  }
}

TEST(Echoloom, ReadPositionsStayWithinTheLine) {
  Rig fast("echoloom~", 192000.0f, 64);
  for (const char* message : {"time 5000", "lfoDepth 100", "lfoFreq 0.01"}) fast.send(message);
  fast.run(std::vector<float>(192000 + 64 * 10));
  fast.send("lfoPhase -90");  // the crest of the sine: 2 * 5 s back
  fast.run(std::vector<float>(64));
  EXPECT_EQ(first_head_distance(fast), 1048575);

  // The depth glide passes 100 % in its last block: at the trough of the
  // sine the head must still not read ahead of the write index.
  Rig rig("echoloom~");
  for (const char* message : {"time 5000", "lfoDepth 100", "lfoFreq 0.01"}) rig.send(message);
  rig.run(std::vector<float>(64 * 689));
  rig.send("lfoPhase 90");
  rig.run(std::vector<float>(64));
  EXPECT_EQ(first_head_distance(rig), 2);
}

TEST(Echoloom, CyclePositionStaysInTheTable) {
  Rig rig("echoloom~", 44100.0f, 512);
  rig.send("lfoFreq 10");
  rig.run(std::vector<float>(512));
  rig.send("lfoPhase -180");
  rig.send("lfoFreq 0.01");  // the ramp runs on past the target, below zero
  rig.run(std::vector<float>(512));
  EXPECT_GE(state(rig).phase1, N / 2);
  EXPECT_LT(state(rig).phase1, N);
  Rig slow("echoloom~", 4.0f, 4);  // ten cycles a second at four samples
  slow.send("lfoFreq 10");
  slow.run(std::vector<float>(64));
  EXPECT_LT(state(slow).phase1, N);
}

TEST(Echoloom, EmptyBlocksRunOnlyTheBlockSteps) {
  Rig rig("echoloom~");
  rig.send("feedback 150");
  rig.send("lfoDepth 50");
  rig.dsp(44100.0f, 0);
  rig.send("lfoDepth 20");  // no block length: the glide ends at the next block
  rig.instance().run();
  EXPECT_EQ(state(rig).feedback.current, 0.75f);
  EXPECT_EQ(state(rig).depth.current, 0.2f);
  EXPECT_EQ(state(rig).writeIndex, 0);
}

TEST(Echoloom, InPlaceVectorsGiveTheSameResult) {
  Rig separate("echoloom~");
  Rig shared("echoloom~");
  shared.dsp(44100.0f, 64, true);
  for (Rig* rig : {&separate, &shared})
    for (const char* m : {"heads 2", "lfoShape 1", "lfoDepth 30", "lfoFreq 3", "feedback 160", "filterFreq 3000", "time 20"})
      rig->send(m);
  EXPECT_EQ(separate.run(test_signal(20000)), shared.run(test_signal(20000)));
}

TEST(Echoloom, RefusedWhenItsMemoryCannotBeHad) {
  standin::take_console_lines();
  standin::limit_allocations(1 << 20);
  EXPECT_FALSE(standin::Instance::create("echoloom~"));
  standin::limit_allocations(0);
  const auto lines = standin::take_console_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(standin::format_console_line(lines[0]), "error: echoloom~: not enough memory for the delay line.");
  EXPECT_EQ(standin::format_console_line(lines[1]), "error: echoloom~: could not create the object");
}

TEST(Echoloom, AssistAndMessages) {
  Rig rig("echoloom~");
  EXPECT_EQ(rig.instance().assist(false, 0), "(signal) Input");
  EXPECT_EQ(rig.instance().assist(true, 3), "(signal) Output");
  std::vector<std::string> selectors;
  for (const auto& binding : rig.instance().class_info().messages) selectors.push_back(binding.selector);
  EXPECT_EQ(selectors, (std::vector<std::string>{"time", "feedback", "lfoFreq", "lfoDepth", "lfoShape", "lfoPhase",
                                                 "filterFreq", "resonance", "feedbackSwitch", "freeze", "heads"}));
}

}  // namespace
