#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "internal.h"  // to hand a method a NaN, which the host never delivers
#include "levelsway/levelsway.h"
#include "rig.h"

namespace {

using Lines = std::vector<std::string>;
using Samples = std::vector<float>;
const float NaN = std::numeric_limits<float>::quiet_NaN();
const float INF = std::numeric_limits<float>::infinity();

Levelsway& state(Rig& rig) { return rig.record<Levelsway>(); }
Samples table(Rig& rig) { return Samples(state(rig).gainTable, state(rig).gainTable + 8192); }
Samples constant(size_t n, float value) { return Samples(n, value); }
std::vector<unsigned char> bytes(Rig& rig) {
  const auto* record = reinterpret_cast<const unsigned char*>(&state(rig));
  return std::vector<unsigned char>(record, record + sizeof(Levelsway));
}

host::Class* levelsway_class() { return standin::find_or_load_class("levelsway~"); }

host::Method bound_method(const std::string& selector) {
  const host::Class* objectClass = levelsway_class();
  if (selector == "1:" || selector == "2:") return objectClass->floatInlets.at(selector[0] - '0');
  const core::Binding* binding = core::find_binding(*objectClass, selector.c_str());
  return binding != nullptr ? binding->method : nullptr;
}

// Calls a float method as a host may, with a value the stand-in host refuses
// before it reaches the object.
void call(Rig& rig, const std::string& selector, double value) {
  core::CallScope scope(levelsway_class(), nullptr);
  reinterpret_cast<void (*)(void*, double)>(bound_method(selector))(rig.instance().record(), value);
}

void call_dsp(Rig& rig, float rate) {
  host::Signal signal{64, nullptr, rate};
  host::Signal* signals[] = {&signal, &signal};
  core::CallScope scope(levelsway_class(), nullptr);
  reinterpret_cast<void (*)(void*, host::Signal**, short*)>(bound_method("dsp"))(rig.instance().record(), signals,
                                                                                 nullptr);
}

// Arms the envelope with one silent sample, then holds a steady level (a
// whole number of blocks, so that no padding follows).
Samples settle(Rig& rig, float level, size_t n = 8832) {
  Samples input = constant(n, level);
  input[0] = 0.0f;
  return rig.run(input);
}

TEST(LevelswayCurve, DefaultsCompressAboveMinusFortyDb) {
  Rig rig("levelsway~");
  const Levelsway& x = state(rig);
  const Samples gains = table(rig);
  for (int i = 0; i <= 80; i++) EXPECT_EQ(gains[i], 1.0f) << i;
  EXPECT_EQ(gains[81], 0.99993026f);
  EXPECT_EQ(gains[8191], 0.7196856f);
  EXPECT_EQ(x.kneeHigh, 0.01f);
  EXPECT_EQ(x.kneeLow, std::nextafter(0.01f, 0.0f));
  EXPECT_EQ(x.kneeLowDb, -40.0f);
  EXPECT_EQ(x.thresholdDb, -40.0f);
  EXPECT_EQ(x.ratio, 13.0f / 14.0f);
  EXPECT_EQ(x.attackCoef, 1.0026140f);
  EXPECT_EQ(x.releaseCoef, 0.99989557f);
}

TEST(LevelswayCurve, RatioAboveOneExpandsBelowTheThreshold) {
  Rig rig("levelsway~");
  rig.send("1: 2");
  const Samples gains = table(rig);
  EXPECT_EQ(gains[0], 0.012207029f);
  EXPECT_EQ(gains[40], 0.50048822f);
  EXPECT_LT(gains[80], 1.0f);
  for (int i = 81; i < 8192; i++) ASSERT_EQ(gains[i], 1.0f) << i;
}

TEST(LevelswayCurve, SoftKneeBlendsTwelveDbAroundTheThreshold) {
  Rig hard("levelsway~");
  Rig soft("levelsway~");
  soft.send("softKnee 1");
  EXPECT_EQ(state(soft).kneeHigh, 0.019952621f);
  EXPECT_EQ(state(soft).kneeLow, 0.0050118715f);
  EXPECT_EQ(state(soft).thresholdDb, -40.0f);
  const Samples knee = table(soft);
  const Samples plain = table(hard);
  EXPECT_EQ(knee[40], 1.0f);                   // 41/8192 lies below the knee
  EXPECT_GT(knee[41], 1.0f);                   // just inside it, below the threshold
  EXPECT_GT(knee[120], plain[120]);            // above the threshold, not yet the full gain
  EXPECT_LT(knee[120], 1.0f);
  EXPECT_NEAR(knee[162], plain[162], 1.0e-4);  // the top edge meets the curve
  for (int i = 163; i < 8192; i++) ASSERT_EQ(knee[i], plain[i]) << i;

  soft.send("softKnee 1.5");
  EXPECT_EQ(soft.console(), Lines{"error: levelsway~: softKnee value must be >= 0.0 and <= 1.0."});
  EXPECT_EQ(state(soft).kneeWidth, 1.0f);
}

TEST(LevelswayCurve, RatioOfOneIsFlatAndOnlyTheMakeupApplies) {
  Rig rig("levelsway~");
  rig.send("1: 1");
  rig.send("makeupGain 6");
  const Samples input = {0.0f, 0.9f, -1.0f, 0.3f, 0.001f, 2.0f};
  const Samples out = rig.run(input);
  for (size_t i = 0; i < input.size(); i++)
    EXPECT_EQ(out[i], static_cast<float>(input[i] * static_cast<double>(state(rig).makeup)));
}

TEST(LevelswayMessages, RatioOutOfRangeTakesTheNearerBound) {
  const std::string error = "error: levelsway~: ratio value must be >= 0.01 and <= 10.0";
  Rig rig("levelsway~");
  Rig ten("levelsway~");
  ten.send("1: 10");
  rig.send("1: 12");
  EXPECT_EQ(state(rig).ratio, 10.0f);
  EXPECT_EQ(table(rig), table(ten));
  rig.send("1: 0.001");
  EXPECT_EQ(state(rig).ratio, 0.01f);
  call(rig, "1:", NaN);
  EXPECT_EQ(state(rig).ratio, 0.01f);
  EXPECT_EQ(rig.console(), (Lines{error, error, error}));
}

TEST(LevelswayMessages, ThresholdIsRecomputedEvenAfterAnError) {
  Rig rig("levelsway~");
  rig.send("2: -97");  // refused, but the knee edges still meet at -40 dB
  EXPECT_EQ(rig.console(), Lines{"error: levelsway~: threshold value must be >= -96.0dB and <= 0.0dB."});
  EXPECT_EQ(state(rig).kneeLow, 0.01f);
  EXPECT_EQ(state(rig).kneeHigh, 0.01f);
  rig.send("2: 0");
  EXPECT_EQ(state(rig).thresholdDb, 0.0f);
  EXPECT_EQ(state(rig).kneeLow, 1.0f);
  rig.send("2: -96");
  call(rig, "2:", NaN);
  EXPECT_EQ(state(rig).thresholdDb, -96.0f);
  EXPECT_EQ(rig.console().size(), 1u);
}

TEST(LevelswayMessages, TimesAndGainsRefuseValuesOutOfRange) {
  Rig rig("levelsway~");
  rig.send("attack 0.5");
  rig.send("release 2000.5");
  rig.send("makeupGain -1");
  call(rig, "attack", NaN);
  call(rig, "makeupGain", NaN);
  EXPECT_EQ(rig.console(), (Lines{"error: levelsway~: attack value must be >= 1.0ms and <= 100.0ms.",
                                  "error: levelsway~: release value must be >= 100ms and <= 2000.0ms.",
                                  "error: levelsway~: makeupGain value must be >= 0.0dB and <= 60.0dB.",
                                  "error: levelsway~: attack value must be >= 1.0ms and <= 100.0ms.",
                                  "error: levelsway~: makeupGain value must be >= 0.0dB and <= 60.0dB."}));
  EXPECT_EQ(state(rig).attackTime, 0.02f);
  EXPECT_EQ(state(rig).attackCoef, 1.0026140f);
  EXPECT_EQ(state(rig).releaseTime, 0.5f);
  EXPECT_EQ(state(rig).makeup, 1.0f);
  rig.send("makeupGain 60");
  rig.send("attack 1");
  rig.send("release 100");
  EXPECT_EQ(state(rig).makeup, 1000.0001f);
  EXPECT_EQ(state(rig).attackTime, 0.001f);
  EXPECT_EQ(state(rig).releaseTime, 0.1f);
}

// The envelope may rise 20 dB per attack time and fall 20 dB per release time.
void expect_times_hold(const Levelsway& x, double rate) {
  EXPECT_NEAR(std::pow(x.attackCoef, x.attackTime * rate), 10.0, 1.0e-3) << rate;
  EXPECT_NEAR(std::pow(x.releaseCoef, x.releaseTime * rate), 0.1, 1.0e-4) << rate;
}

TEST(LevelswayMessages, CoefficientsFollowTheHostsSampleRate) {
  Rig rig("levelsway~", 96000.0f);
  expect_times_hold(state(rig), 96000.0);
  rig.send("attack 0.5");  // refused: recomputed at the rate in force
  rig.dsp(48000.0f, 64);
  expect_times_hold(state(rig), 48000.0);
  rig.dsp(44100.0f, 64);
  EXPECT_EQ(state(rig).attackCoef, 1.0026140f);
  EXPECT_EQ(state(rig).releaseCoef, 0.99989557f);

  for (float rate : {0.0f, -1.0f, NaN, INF}) call_dsp(rig, rate);
  // The refused attack and four refused rates; the host also refuses each
  // dsp_add made outside its own dsp call.
  const Lines lines = rig.console();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.find("dsp_add") == std::string::npos; }),
            5);
  EXPECT_EQ(state(rig).sampleRate, 44100.0f);
  EXPECT_EQ(state(rig).attackCoef, 1.0026140f);
}

TEST(LevelswayMessages, RmsDetectTruncatesAndAlwaysPostsTheMode) {
  Rig rig("levelsway~");
  rig.send("rmsDetect 0.5");
  EXPECT_EQ(state(rig).detectMode, 0);
  rig.send("rmsDetect 1");
  rig.send("rmsDetect 3");
  call(rig, "rmsDetect", NaN);
  EXPECT_EQ(state(rig).detectMode, 1);
  EXPECT_EQ(rig.console(), (Lines{"levelsway~: Peak Level Detect Mode.", "levelsway~: RMS Level Detect Mode.",
                                  "levelsway~: RMS Level Detect Mode.", "levelsway~: RMS Level Detect Mode."}));
}

TEST(LevelswayMessages, AssistTextsAndClear) {
  Rig rig("levelsway~");
  EXPECT_EQ(rig.instance().assist(false, 1), "(float) Ratio (0.01 - 10.0)");
  EXPECT_EQ(rig.instance().assist(false, 2), "(float) Threshold (-96 - 0)");
  EXPECT_EQ(rig.instance().assist(false, 3), "");
  EXPECT_EQ(rig.instance().assist(true, 4), "(signal) Output");
  settle(rig, 0.5f, 320);
  const auto before = bytes(rig);
  rig.send("clear");
  EXPECT_EQ(bytes(rig), before);
}

TEST(LevelswayDetector, EnvelopeStaysShutUntilAnExactlySilentSample) {
  Rig rig("levelsway~");
  EXPECT_EQ(rig.run(constant(512, 1.0f)), constant(512, 1.0f));  // entry 0: gain 1
  EXPECT_EQ(state(rig).attackBound, 0.0f);
  const Samples out = settle(rig, 1.0f);
  // The halving steps stop one rounding step short of the table's gain.
  EXPECT_FLOAT_EQ(state(rig).smoothedGain, 0.7196856f);
  EXPECT_EQ(out.back(), state(rig).smoothedGain);
  // Above full scale the level is 1.0: the same gain.
  EXPECT_EQ(rig.run(constant(64, 2.0f)).back(), 2.0f * state(rig).smoothedGain);
}

TEST(LevelswayDetector, SilenceFollowsTheReleaseDown) {
  Rig rig("levelsway~");
  settle(rig, 1.0f);
  EXPECT_EQ(rig.run(constant(22080, 0.0f)), constant(22080, 0.0f));
  EXPECT_NEAR(state(rig).releaseBound, 0.1, 5.0e-4);  // 20 dB in half a second
}

// A long silence after music takes the envelope below the smallest normal
// float, where it settles; each block then takes the rounding or the short
// way that its start calls for. Where blocks begin cannot change the output:
// the same bits at block sizes 1, 64 and 1000, into the silence and back into
// music, and the same detector state.
TEST(LevelswayDetector, LongSilenceGivesTheSameBitsAtEveryBlockSize) {
  const size_t music = 16000;  // whole blocks of every size
  const size_t quiet = 224000;  // about 5 s
  Samples input(music + quiet + music, 0.0f);
  for (size_t i = 1; i < music; i++) {
    const float tone = static_cast<float>(0.5 * std::sin(0.05 * static_cast<double>(i)));
    input[i] = tone;
    input[music + quiet + i] = tone;
  }
  for (const char* mode : {"rmsDetect 0", "rmsDetect 1"}) {
    std::vector<Samples> outputs;
    std::vector<std::vector<float>> states;
    for (int block : {1, 64, 1000}) {
      Rig rig("levelsway~", 44100.0f, block);
      for (const char* message : {mode, "release 100", "2: -30"}) rig.send(message);
      Samples out = rig.run(Samples(input.begin(), input.begin() + music + quiet));
      EXPECT_GT(state(rig).releaseBound, 0.0f) << mode << " " << block;
      EXPECT_LT(state(rig).releaseBound, std::numeric_limits<float>::min()) << mode << " " << block;
      const Samples after = rig.run(Samples(input.begin() + music + quiet, input.end()));
      out.insert(out.end(), after.begin(), after.end());
      outputs.push_back(out);
      const Levelsway& x = state(rig);
      states.push_back({x.releaseBound, x.attackBound, x.smoothedGain, x.rmsSum, static_cast<float>(x.rmsIndex)});
    }
    EXPECT_NE(outputs[0].back(), 0.0f) << mode;
    for (size_t k = 1; k < outputs.size(); k++) {
      EXPECT_EQ(outputs[k], outputs[0]) << mode << " " << k;
      EXPECT_EQ(states[k], states[0]) << mode << " " << k;
    }
  }
}

TEST(LevelswayDetector, RmsBelowTheSquareRootTablesFirstStepIsSilence) {
  // An RMS of 0.003 is below the first step of the square-root table: the
  // expander hears silence and closes fully, where peak detection does not.
  Rig quiet("levelsway~");
  Rig peak("levelsway~");
  quiet.send("rmsDetect 1");
  for (Rig* r : {&quiet, &peak}) r->send("1: 2");
  const float rms = quiet.run(constant(44100, 0.003f)).back();
  const float level = settle(peak, 0.003f, 44100).back();
  EXPECT_GE(rms, 0.003f * table(quiet)[0]);
  EXPECT_LT(rms, 0.003f * table(quiet)[1]);
  EXPECT_GT(level, 10.0f * rms);
}

TEST(LevelswayDetector, NonFiniteSamplesDoNotPoisonTheDetector) {
  for (const char* mode : {"rmsDetect 0", "rmsDetect 1"}) {
    Rig clean("levelsway~");
    Rig hit("levelsway~");
    Samples input = constant(400, 0.5f);
    input[0] = 0.0f;
    Samples spoiled = input;
    spoiled[100] = NaN;
    spoiled[101] = INF;
    input[100] = input[101] = 8.0f;  // both read as a full-scale square
    for (Rig* r : {&clean, &hit}) r->send(mode);
    const Samples expected = clean.run(input);
    const Samples out = hit.run(spoiled);
    EXPECT_TRUE(std::isnan(out[100])) << mode;
    EXPECT_TRUE(std::isinf(out[101])) << mode;
    EXPECT_EQ(Samples(out.begin() + 102, out.end()), Samples(expected.begin() + 102, expected.end())) << mode;
    EXPECT_EQ(state(hit).rmsSum, state(clean).rmsSum) << mode;
  }
}

TEST(LevelswayDetector, SharedVectorsOddAndEmptyBlocks) {
  for (const char* mode : {"rmsDetect 0", "rmsDetect 1"}) {
    Rig separate("levelsway~", 44100.0f, 37);
    Rig shared("levelsway~", 44100.0f, 37);
    shared.dsp(44100.0f, 37, true);
    Samples input(3000);
    for (size_t i = 0; i < input.size(); i++)
      input[i] = i < 5 ? 0.0f : static_cast<float>(std::sin(i * 0.01) * (i % 1000) / 1000.0);
    for (Rig* r : {&separate, &shared}) {
      r->send(mode);
      r->send("2: -30");
      r->send("attack 2");
    }
    EXPECT_EQ(separate.run(input), shared.run(input)) << mode;

    shared.dsp(44100.0f, 0);
    const auto before = bytes(shared);
    shared.instance().run();
    EXPECT_EQ(bytes(shared), before) << mode;
  }
}

// The instance allocates its RMS window (256 bytes) and gain table (32 KiB);
// the square-root table is shared by all instances and allocates nothing.
TEST(LevelswayLife, FailedAllocationRefusesTheInstance) {
  standin::take_console_lines();
  for (size_t limit : {100, 1000, 30000}) {
    standin::limit_allocations(limit);
    EXPECT_EQ(standin::Instance::create("levelsway~"), nullptr) << limit;
    standin::limit_allocations(0);
    const auto lines = standin::take_console_lines();
    ASSERT_EQ(lines.size(), 1u) << limit;
    EXPECT_EQ(standin::format_console_line(lines[0]), "error: levelsway~: could not create the object");
  }
}

}  // namespace
