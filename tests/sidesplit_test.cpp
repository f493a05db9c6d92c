#include <gtest/gtest.h>

#include "rig.h"
#include "sidesplit/sidesplit.h"

namespace {

using Lines = std::vector<std::string>;
const std::string GAIN_ERROR = "error: sidesplit~: value must be >= -12.0dB and <= 12.0dB.";

TEST(Sidesplit, EncodesLeftRightIntoMidSideByDefault) {
  Rig rig("sidesplit~");
  const auto out = rig.run_channels({{0.5f, 1.0f, 0.0f, -0.25f}, {0.25f, -1.0f, 0.0f, 0.0f}});
  EXPECT_EQ(out[0], (std::vector<float>{0.375f, 0.0f, 0.0f, -0.125f}));
  EXPECT_EQ(out[1], (std::vector<float>{0.125f, 1.0f, 0.0f, -0.125f}));
}

TEST(Sidesplit, DecodingTheEncoderGivesBackItsInput) {
  Rig encoder("sidesplit~");
  Rig decoder("sidesplit~");
  decoder.send("4: 1");
  const std::vector<std::vector<float>> stereo = {{0.5f, -0.75f, 0.125f}, {0.25f, 0.5f, -1.0f}};
  EXPECT_EQ(decoder.run_channels(encoder.run_channels(stereo)), stereo);
}

TEST(Sidesplit, GainsAreDecibelsWithinTwelveEitherWay) {
  Rig rig("sidesplit~");
  rig.send("2: 12");
  rig.send("3: -12");
  EXPECT_EQ(rig.record<Sidesplit>().midGain, 3.9810717f);
  EXPECT_EQ(rig.record<Sidesplit>().sideGain, 0.25118864f);
  rig.send("4: 1");
  const auto out = rig.run_channels({{1.0f}, {1.0f}});
  EXPECT_EQ(out[0][0], static_cast<float>(3.9810717f + static_cast<double>(0.25118864f)));
  EXPECT_TRUE(rig.console().empty());
}

TEST(Sidesplit, RefusesGainsJustBeyondTheBounds) {
  Rig rig("sidesplit~");
  rig.send("2: 6");
  const float six = rig.record<Sidesplit>().midGain;
  rig.send("2: 12.0001");
  rig.send("2: -12.0001");
  rig.send("3: 12.0001");
  EXPECT_EQ(rig.console(), (Lines{GAIN_ERROR, GAIN_ERROR, GAIN_ERROR}));
  EXPECT_EQ(rig.record<Sidesplit>().midGain, six);
  EXPECT_EQ(rig.record<Sidesplit>().sideGain, 1.0f);
}

TEST(Sidesplit, ModeInletMapsEveryNumberSilently) {
  Rig rig("sidesplit~");
  const std::vector<std::pair<std::string, int>> cases = {
      {"0.5", 0}, {"0.999", 0}, {"1", 1}, {"1.5", 1}, {"7", 1}, {"-3", 0}, {"1.0", 1}, {"0", 0}};
  for (const auto& [value, mode] : cases) {
    rig.send("4: " + value);
    EXPECT_EQ(rig.record<Sidesplit>().direction, mode) << value;
  }
  EXPECT_TRUE(rig.console().empty());
}

TEST(Sidesplit, LeftAloneGivesHalfOnBothOutlets) {
  Rig rig("sidesplit~");
  const auto out = rig.run_channels({{0.8f, -0.4f}, {0.0f, 0.0f}});
  EXPECT_EQ(out[0], (std::vector<float>{0.4f, -0.2f}));
  EXPECT_EQ(out[1], (std::vector<float>{0.4f, -0.2f}));
}

TEST(Sidesplit, InPlaceVectorsGiveTheSameResult) {
  for (int direction : {0, 1}) {
    Rig separate("sidesplit~");
    Rig shared("sidesplit~");
    for (Rig* rig : {&separate, &shared}) {
      rig->send("2: 3.5");
      rig->send("3: -7");
      rig->send("4: " + std::to_string(direction));
    }
    shared.dsp(44100.0f, 64, true);
    std::vector<std::vector<float>> input(2, std::vector<float>(200));
    for (size_t i = 0; i < 200; i++) {
      input[0][i] = static_cast<float>(i) / 200.0f - 0.5f;
      input[1][i] = 0.3f - static_cast<float>(i % 7) / 10.0f;
    }
    EXPECT_EQ(separate.run_channels(input), shared.run_channels(input));
  }
}

TEST(Sidesplit, AssistTextsByIndex) {
  Rig rig("sidesplit~");
  EXPECT_EQ(rig.instance().assist(false, 4), "(float) LR>MS, MS>LR (0 or 1)");
  EXPECT_EQ(rig.instance().assist(true, 1), "(signal) Right Output");
  EXPECT_EQ(rig.instance().assist(false, 5), "");
  EXPECT_EQ(rig.instance().assist(true, 2), "");
}

}  // namespace
