// The bundle in LV2's own tools: lv2ls finds the seven plug-ins, lv2info
// shows their ports and presets, lv2_validate accepts the Turtle, and
// lv2apply renders every object to the bit as tildefx render does at the
// internal block length (64 samples: lv2apply states none) with the same
// messages at time 0, as late as the plug-in's FIFO makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lv2_reference.h"
#include "lv2_world.h"

namespace {

const std::vector<std::string> OBJECTS = {"bitgrind", "echoloom", "grainfall", "levelsway",
                                          "overtoner", "sidesplit", "tonewarp"};
const size_t LENGTH = 22050;

std::string uri(const std::string& object) { return "urn:tildefx:" + object; }

TEST(Lv2Tools, Lv2lsListsTheSevenPlugins) {
  const CommandRun listing = run_command(lv2_command("lv2ls"));
  ASSERT_EQ(listing.status, 0) << listing.output;
  std::string expected;
  for (const std::string& object : OBJECTS) expected += uri(object) + "\n";
  EXPECT_EQ(listing.output, expected);
}

// Every port, the latency last, the maintainer and the demo preset.
TEST(Lv2Tools, Lv2infoShowsEveryPortTheMaintainerAndThePreset) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> ports = {
      {"grainfall",
       {"in", "out", "notes", "time", "timeVariation", "feedback", "filterFreq", "resonance", "density",
        "grainSize", "grainStartVariation", "octave", "octaveVariation", "grainReversal", "intonation", "latency"}},
      {"echoloom",
       {"in", "out", "time", "feedback", "lfoFreq", "lfoDepth", "lfoShape", "lfoPhase", "filterFreq",
        "resonance", "feedbackSwitch", "freeze", "heads", "latency"}},
      {"tonewarp", {"in", "out", "time", "pitchFactor", "feedback", "octave", "loopDepth", "latency"}},
      {"levelsway", {"in", "out", "ratio", "threshold", "attack", "release", "softKnee", "makeupGain", "rmsDetect", "latency"}},
      {"bitgrind", {"in", "out", "depth", "folds", "latency"}},
      {"sidesplit", {"inLeft", "inRight", "outLeft", "outRight", "midGain", "sideGain", "mode", "latency"}},
      {"overtoner", {"in", "out", "p1", "p2", "p3", "p4", "p5", "p7", "latency"}}};
  for (const auto& [object, symbols] : ports) {
    const CommandRun info = run_command(lv2_command("lv2info " + uri(object)));
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("Name:              " + object + "~\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Author:            The tildefx developers\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Has latency:       yes, reported by port " + std::to_string(symbols.size() - 1)),
              std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Presets: \n\t         Demo\n"), std::string::npos) << info.output;
    for (size_t i = 0; i < symbols.size(); i++) {
      const std::string port = "Port " + std::to_string(i) + ":";
      const size_t at = info.output.find(port);
      ASSERT_NE(at, std::string::npos) << object << " has no " << port;
      EXPECT_EQ(info.output.find("Symbol:      " + symbols[i] + "\n", at),
                info.output.find("Symbol:", at)) << object << " " << port;
    }
    EXPECT_EQ(info.output.find("Port " + std::to_string(symbols.size()) + ":"), std::string::npos) << object;
  }
}

// Anything else exported, main above all, could bind to the host's own symbols.
TEST(Lv2Tools, PluginsExportOnlyTheirDescriptor) {
  for (const std::string& object : OBJECTS) {
    const CommandRun symbols =
        run_command("nm -D --defined-only " TILDEFX_LV2_DIR "/tildefx.lv2/" + object + ".so | awk '{print $3}'");
    ASSERT_EQ(symbols.status, 0) << symbols.output;
    EXPECT_EQ(symbols.output, "lv2_descriptor\n") << object;
  }
}

TEST(Lv2Tools, TheTurtleValidates) {
  std::string files;
  for (const std::string& object : OBJECTS) files += " " TILDEFX_LV2_DIR "/tildefx.lv2/" + object + ".ttl";
  const CommandRun validation = run_command("lv2_validate " TILDEFX_LV2_DIR "/tildefx.lv2/manifest.ttl "
                                            TILDEFX_LV2_DIR "/tildefx.lv2/tildefx.ttl" + files);
  EXPECT_EQ(validation.status, 0) << validation.output;
  EXPECT_NE(validation.output.find("Found 0 errors"), std::string::npos) << validation.output;
}

// One control as lv2apply sets it and the message tildefx sends for it.
struct Control {
  std::string symbol;
  std::string value;
  std::string message;
};

struct ApplyCase {
  std::string object;
  std::vector<Control> controls;  // in port order, the order the plug-in delivers them
  int rate = 44100;               // of the input file, which both take as theirs
};

void expect_same_as_render(const ApplyCase& applyCase, const std::string& folder, int index) {
  const int channels = applyCase.object == "sidesplit" ? 2 : 1;
  const std::string in = folder + "/in.wav";
  const std::string lv2Out = folder + "/lv2-" + std::to_string(index) + ".wav";
  const std::string renderOut = folder + "/render-" + std::to_string(index) + ".wav";
  write_wav(in, test_input(channels, LENGTH, 256), applyCase.rate);
  std::string apply = "lv2apply -i " + in + " -o " + lv2Out;
  std::string render = TILDEFX_TOOL " render --quiet --block 64 " + applyCase.object + "~ " + in + " " + renderOut;
  for (const Control& control : applyCase.controls) {
    apply += " -c " + control.symbol + " " + control.value;
    render += " '" + control.message + "'";
  }
  const CommandRun applied = run_command(lv2_command(apply + " " + uri(applyCase.object)));
  ASSERT_EQ(applied.status, 0) << applied.output;
  const CommandRun rendered = run_command(render);
  ASSERT_EQ(rendered.status, 0) << rendered.output;
  const Channels expected = read_wav(renderOut);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(first_difference(late(expected, fifo_latency(applyCase.object, 64)), read_wav(lv2Out)), "")
      << applyCase.object << " case " << index;
}

TEST(Lv2Tools, Lv2applyRendersAsTildefxDoes) {
  const std::vector<ApplyCase> cases = {
      {"grainfall", {{"time", "250", "time 250"}, {"feedback", "40", "feedback 40"},
                     {"grainStartVariation", "30", "grainStartVariation 30"},
                     {"octaveVariation", "1", "octaveVariation 1"}, {"grainReversal", "25", "grainReversal 25"}}},
      {"grainfall", {{"time", "120", "time 120"}, {"density", "190", "density 190"}, {"octave", "1", "octave 1"},
                     {"intonation", "0", "12tet"}}},
      {"echoloom", {{"time", "30", "time 30"}, {"lfoDepth", "30", "lfoDepth 30"}, {"lfoShape", "2", "lfoShape 2"}}},
      {"echoloom", {{"feedback", "150", "feedback 150"}, {"filterFreq", "2000", "filterFreq 2000"},
                    {"resonance", "80", "resonance 80"}, {"feedbackSwitch", "0", "feedbackSwitch 0"},
                    {"heads", "2", "heads 2"}}},
      {"echoloom", {{"time", "6000", "time 6000"}, {"lfoFreq", "10", "lfoFreq 10"}, {"lfoPhase", "90", "lfoPhase 90"},
                    {"freeze", "1", "freeze 1"}}},
      {"tonewarp", {{"time", "200", "time 200"}, {"pitchFactor", "19", "pitchFactor 19"}}},
      {"tonewarp", {{"feedback", "50", "feedback 50"}, {"octave", "-1", "octave -1"},
                    {"loopDepth", "60", "loopDepth 60"}}},
      {"levelsway", {{"ratio", "0.25", "1: 0.25"}, {"threshold", "-20", "2: -20"}, {"attack", "5", "attack 5"}}},
      {"levelsway", {{"ratio", "4", "1: 4"}, {"release", "200", "release 200"}, {"softKnee", "1", "softKnee 1"},
                     {"makeupGain", "6", "makeupGain 6"}, {"rmsDetect", "1", "rmsDetect 1"}}},
      {"levelsway", {{"ratio", "12", "1: 12"}, {"attack", "500", "attack 500"}}},
      {"bitgrind", {{"depth", "6.5", "1: 6.5"}}},
      {"bitgrind", {{"depth", "12", "1: 12"}, {"folds", "3", "2: 3"}}},
      {"sidesplit", {{"midGain", "-6", "2: -6"}, {"sideGain", "6", "3: 6"}}},
      {"sidesplit", {{"midGain", "3.5", "2: 3.5"}, {"mode", "1", "4: 1"}}},
      {"overtoner", {{"p2", "0", "p2 0"}, {"p3", "-6", "p3 -6"}}},
      {"overtoner", {{"p1", "-60", "p1 -60"}, {"p5", "-0.5", "p5 -0.5"}, {"p7", "-3", "p7 -3"}}},
      {"levelsway", {{"ratio", "0.25", "1: 0.25"}, {"attack", "5", "attack 5"}, {"release", "150", "release 150"}},
       48000},
      {"echoloom", {{"time", "30", "time 30"}, {"lfoDepth", "30", "lfoDepth 30"}}, 48000},
      {"grainfall", {{"time", "120", "time 120"}, {"feedback", "80", "feedback 80"}}, 96000}};
  const std::string folder = test_folder();
  for (size_t i = 0; i < cases.size(); i++) expect_same_as_render(cases[i], folder, static_cast<int>(i));
}

}  // namespace
