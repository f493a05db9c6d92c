// The externals in Pd itself: each object, played from a table through the
// external and recorded by Pd, must give the bits tildefx render gives for
// the same input and messages; bad input must print its line and change
// nothing; every help patch must open cleanly, its number boxes limited to
// the range of the parameter they set.
#include <gtest/gtest.h>
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "object_descriptions.h"
#include "pd_render.h"

namespace {

const size_t LENGTH = 45056;  // 352 blocks of 128: about one second

RenderCase render_case(const std::string& object, const Channels& input, int outlets = 1) {
  RenderCase renderCase;
  renderCase.object = object;
  renderCase.input = input;
  renderCase.outlets = outlets;
  return renderCase;
}

bool sounds(const Channels& output) {
  for (const std::vector<float>& channel : output)
    for (float sample : channel)
      if (sample != 0.0f) return true;
  return false;
}

void expect_no_errors(const PdRun& pd) {
  EXPECT_EQ(error_lines(pd.console), std::vector<std::string>{}) << pd.console;
}

// Renders in Pd (into pd) and with tildefx, and compares. Skips the test
// when a sanitizer build's externals cannot be loaded into Pd.
void expect_same_render(const RenderCase& renderCase, PdRun& pd) {
  const std::string folder = test_folder();
  pd = render_in_pd(renderCase, folder);
  if (pd.skipped)
    GTEST_SKIP() << "Pd cannot load the externals of this sanitizer build; the Pd test is skipped here";
  EXPECT_EQ(pd.status, 0) << pd.console;
  std::string toolConsole;
  const Channels expected = render_with_tildefx(renderCase, folder, toolConsole);
  EXPECT_FALSE(expected.empty()) << toolConsole;
  EXPECT_EQ(first_difference(expected, pd.output), "") << "Pd's console:\n" << pd.console;
  EXPECT_TRUE(sounds(pd.output)) << "Pd's output is silent";
  if (renderCase.badMessages.empty()) expect_no_errors(pd);
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(PdRenders, SidesplitMatchesTheStandInHost) {
  RenderCase renderCase = render_case("sidesplit~", test_input(2, LENGTH), 2);
  renderCase.messages = {{0, "2: -6"}, {0, "3: 6"}, {8192, "2: 3.5"}, {16384, "4: 1"}, {24576, "3: -12"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

TEST(PdRenders, OvertonerMatchesTheStandInHost) {
  RenderCase renderCase = render_case("overtoner~", test_input(1, LENGTH));
  renderCase.messages = {{0, "p2 0"}, {0, "p3 -6"}, {8192, "p7 -3"}, {16384, "p1 -60"}, {20480, "p5 -0.5"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

TEST(PdRenders, GrainfallMatchesTheStandInHost) {
  RenderCase renderCase = render_case("grainfall~", test_input(1, LENGTH));
  renderCase.messages = {{0, "time 250"},           {0, "feedback 40"},         {0, "grainStartVariation 30"},
                         {0, "octaveVariation 1"},  {0, "grainReversal 25"},    {8192, "1: 60 100"},
                         {12288, "67 100"},         {16384, "12tet"},           {20480, "1: 60 0"},
                         {24576, "density 150"},    {28672, "filterFreq 2000"}, {28672, "resonance 75"},
                         {32768, "timeVariation 50"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

// The random shape draws from the host's rand: the same numbers in Pd.
TEST(PdRenders, EcholoomMatchesTheStandInHost) {
  RenderCase renderCase = render_case("echoloom~", test_input(1, LENGTH));
  renderCase.messages = {{0, "time 250"},          {0, "feedback 120"},     {0, "lfoDepth 40"},
                         {0, "lfoFreq 2.5"},      {0, "lfoShape 5"},
                         {8192, "heads 2"},        {8192, "lfoPhase 90"},   {12288, "filterFreq 3000"},
                         {12288, "resonance 60"},  {16384, "feedbackSwitch 0"}, {20480, "time 400"},
                         {24576, "freeze 1"},      {32768, "lfoShape 2"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

TEST(PdRenders, TonewarpMatchesTheStandInHost) {
  RenderCase renderCase = render_case("tonewarp~", test_input(1, LENGTH));
  renderCase.messages = {{0, "time 250"},     {0, "pitchFactor 19"},    {0, "feedback 60"},
                         {0, "loopDepth 50"}, {8192, "octave 1"},        {16384, "pitchFactor 7"},
                         {24576, "octave -0.5"}, {28672, "time 400"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

TEST(PdRenders, LevelswayMatchesTheStandInHost) {
  RenderCase renderCase = render_case("levelsway~", test_input(1, LENGTH));
  renderCase.messages = {{0, "1: 4"},          {0, "2: -24"},         {0, "attack 5"},        {0, "release 200"},
                         {0, "softKnee 0.5"},  {0, "makeupGain 6"},   {16384, "rmsDetect 1"}, {24576, "2: -12"},
                         {28672, "1: 0.5"},    {32768, "clear"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

TEST(PdRenders, BitgrindMatchesTheStandInHost) {
  RenderCase renderCase = render_case("bitgrind~", test_input(1, LENGTH));
  renderCase.messages = {{0, "1: 6.5"}, {0, "2: 2"}, {16384, "1: 3"}, {24576, "2: 5"}, {28672, "clear"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

// bitgrind~ works on 256-sample histories: at 128 its output comes 128
// samples later than at 64.
TEST(PdRenders, ABlockSizeOf128MatchesTildefxWithBlock128) {
  RenderCase renderCase = render_case("bitgrind~", test_input(1, LENGTH));
  renderCase.blockSize = 128;
  renderCase.messages = {{0, "1: 4.5"}, {12800, "2: 3"}, {25600, "1: 12"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

// Pd's convention: a number in a signal inlet with nothing connected is the
// signal's value.
TEST(PdRenders, ANumberInTheUnconnectedLeftInletIsItsSignal) {
  RenderCase renderCase = render_case("overtoner~", {std::vector<float>(LENGTH / 4, 0.5f)});
  renderCase.leftInletNumber = true;
  renderCase.messages = {{0, "p3 0"}, {4096, "p2 -6"}};
  PdRun pd;
  expect_same_render(renderCase, pd);
}

TEST(PdConsole, AnOutOfRangeValuePrintsTheObjectsErrorLineAndChangesNothing) {
  RenderCase renderCase = render_case("overtoner~", test_input(1, LENGTH / 4));
  renderCase.messages = {{0, "p2 -6"}};
  renderCase.badMessages = {"p2 0.5", "p3 -60.5"};
  PdRun pd;
  expect_same_render(renderCase, pd);
  if (IsSkipped()) return;
  const std::vector<std::string> errors = error_lines(pd.console);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), "error: overtoner~: value must be >= -60.0dB and <= 0.0dB."), 2)
      << pd.console;
}

TEST(PdConsole, BadMessagesGetALineEachAndChangeNothing) {
  RenderCase renderCase = render_case("overtoner~", test_input(1, LENGTH / 4));
  renderCase.messages = {{0, "p2 -6"}};
  renderCase.badMessages = {"foo 1", "p2",   "p2 loud",  "p2 -3 -4", "p2 $1", "p2 1e39",
                            "$1",    "bang", "assist 1", "dsp",      "p2 -1e39"};
  PdRun pd;
  expect_same_render(renderCase, pd);
  if (IsSkipped()) return;
  const std::vector<std::string> errors = error_lines(pd.console);
  EXPECT_EQ(errors.size(), renderCase.badMessages.size()) << pd.console;
  EXPECT_TRUE(contains(errors, "error: overtoner~: no method for 'foo'")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: overtoner~: 'p2' needs a number, not 'loud'")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: overtoner~: 'p2' takes one number, not 2")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: overtoner~: 'p2' needs finite numbers")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: overtoner~: 'float' needs finite numbers")) << pd.console;
}

TEST(PdConsole, BadNumbersInFloatInletsGetALineEachAndChangeNothing) {
  RenderCase renderCase = render_case("sidesplit~", test_input(2, LENGTH / 4), 2);
  renderCase.messages = {{0, "2: -6"}};
  renderCase.badMessages = {"2: $1", "3: 1e39", "2: loud", "3: 1 2", "4: bang", "2: -12.5", "1: 0.5"};
  PdRun pd;
  expect_same_render(renderCase, pd);
  if (IsSkipped()) return;
  const std::vector<std::string> errors = error_lines(pd.console);
  EXPECT_EQ(errors.size(), 6u) << pd.console;  // a number in the right signal inlet is its value
  EXPECT_TRUE(contains(errors, "error: sidesplit~: inlet 2 needs finite numbers")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: sidesplit~: inlet 3 takes one number")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: sidesplit~: value must be >= -12.0dB and <= 12.0dB.")) << pd.console;
}

// Pd hands a bang or a symbol to a list method as an empty list or a list of
// one word: grainfall~ answers each with its own error line, as it does a
// word where the note or the velocity belongs.
TEST(PdConsole, BadListsGetALineEachAndChangeNothing) {
  RenderCase renderCase = render_case("grainfall~", test_input(1, LENGTH / 4));
  renderCase.messages = {{0, "time 50"}, {0, "1: 60 100"}};
  renderCase.badMessages = {"bang", "symbol x", "60 100 5", "1: bang", "1: symbol x", "1: 64 $1", "1: foo 1",
                            "list foo 63", "1: 60 word"};
  PdRun pd;
  expect_same_render(renderCase, pd);
  if (IsSkipped()) return;
  const std::vector<std::string> errors = error_lines(pd.console);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), "error: grainfall~: need note and velocity"), 5) << pd.console;
  EXPECT_TRUE(contains(errors, "error: grainfall~: inlet 1 needs finite numbers")) << pd.console;
  EXPECT_TRUE(contains(errors, "error: grainfall~: inlet 1 takes lists only")) << pd.console;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), "error: grainfall~: note and velocity must be numbers"), 2)
      << pd.console;
}

// Each echoloom~ needs 24 MiB: under a limit that cannot hold them all, the
// later ones are refused (their new routine returns null) and Pd goes on.
TEST(PdHost, InstancesThatGetNoMemoryAreRefusedAndPdGoesOn) {
  if (sanitizer_build()) GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
  // Each instance holds a 4 MiB line (the waveform tables are shared): far
  // more than fit in the address space the limit leaves.
  const int INSTANCES = 120;
  const std::string patch = test_folder() + "/many.pd";
  std::ofstream file(patch);
  file << "#N canvas 0 0 400 400 12;\n";
  for (int i = 0; i < INSTANCES; i++) file << "#X obj 10 " << 10 * i << " echoloom~;\n";
  file.close();
  const PdRun pd = open_in_pd({patch}, 400000);
  EXPECT_EQ(pd.status, 0) << pd.console;
  size_t refused = 0;
  for (size_t at = pd.console.find("couldn't create"); at != std::string::npos;
       at = pd.console.find("couldn't create", at + 1))
    refused++;
  EXPECT_GT(refused, 0u) << pd.console;
  EXPECT_LT(refused, static_cast<size_t>(INSTANCES)) << pd.console;
}

std::vector<std::string> files_ending_with(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  if (DIR* directory = opendir(folder.c_str())) {
    while (dirent* entry = readdir(directory)) {
      const std::string name = entry->d_name;
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(name.substr(0, name.size() - suffix.size()));
    }
    closedir(directory);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PdHelp, EveryExternalHasAHelpPatchAndAllOpenWithoutErrors) {
  const std::vector<std::string> externals = files_ending_with(TILDEFX_PD_DIR, ".pd_linux");
  ASSERT_FALSE(externals.empty());
  EXPECT_EQ(files_ending_with(TILDEFX_PD_DIR, "-help.pd"), externals);
  std::vector<std::string> patches;
  for (const std::string& name : externals) patches.push_back(std::string(TILDEFX_PD_DIR) + "/" + name + "-help.pd");
  const PdRun pd = open_in_pd(patches);
  if (pd.skipped) GTEST_SKIP() << "Pd cannot load the externals of this sanitizer build; the Pd test is skipped here";
  EXPECT_EQ(pd.status, 0) << pd.console;
  expect_no_errors(pd);
  EXPECT_EQ(pd.console.find("couldn't"), std::string::npos) << pd.console;
}

}  // namespace

namespace {

// The boxes of a patch's main canvas, by index, each as its words
// ("#X", "floatatom", ...), and its connections (from, outlet, to, inlet).
struct Patch {
  std::vector<std::vector<std::string>> boxes;
  std::vector<std::vector<int>> connections;
};

Patch read_patch(const std::string& path) {
  std::ifstream file(path);
  std::stringstream content;
  content << file.rdbuf();
  Patch patch;
  int depth = -1;  // the main canvas's own "#N canvas" makes it 0
  std::string record;
  while (std::getline(content, record, ';')) {
    std::istringstream stream(record);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.size() < 2) continue;
    if (words[0] == "#N" && words[1] == "canvas") depth++;
    if (words[0] != "#X") continue;
    if (words[1] == "restore") depth--;
    if (depth != 0) continue;
    if (words[1] == "connect")
      patch.connections.push_back({std::stoi(words[2]), std::stoi(words[3]), std::stoi(words[4]), std::stoi(words[5])});
    else if (words[1] != "coords")
      patch.boxes.push_back(words);
  }
  return patch;
}

// The parameter a number box sets: through a message box "NAME $1", or
// straight into a float inlet.
const tildefx::Parameter* parameter_set_by(const Patch& patch, int box, const tildefx::Description& description) {
  for (const std::vector<int>& connection : patch.connections) {
    if (connection[0] != box) continue;
    const std::vector<std::string>& target = patch.boxes.at(static_cast<size_t>(connection[2]));
    for (int i = 0; i < description.parameterCount; i++) {
      const tildefx::Parameter& parameter = description.parameters[i];
      const bool viaMessage = target[1] == "msg" && target.size() == 6 && target[4] == parameter.name;
      const bool viaInlet = target[1] == "obj" && parameter.route == tildefx::Route::FloatInlet &&
                            connection[3] == parameter.inlet;
      if (viaMessage || viaInlet) return &parameter;
    }
  }
  return nullptr;
}

TEST(PdHelp, NumberBoxesAreLimitedToTheRangeOfTheirParameter) {
  for (const tildefx::NamedDescription& entry : OBJECT_DESCRIPTIONS) {
    const Patch patch = read_patch(std::string(TILDEFX_PD_DIR) + "/" + entry.name + "-help.pd");
    size_t boxes = 0;
    for (size_t i = 0; i < patch.boxes.size(); i++) {
      const std::vector<std::string>& box = patch.boxes[i];
      if (box[1] != "floatatom") continue;
      boxes++;
      const tildefx::Parameter* parameter = parameter_set_by(patch, static_cast<int>(i), *entry.description);
      ASSERT_NE(parameter, nullptr) << entry.name << " box " << i;
      EXPECT_EQ(std::stof(box[5]), tildefx::lowest_float(*parameter)) << entry.name << " " << parameter->name;
      EXPECT_EQ(std::stof(box[6]), tildefx::highest_float(*parameter)) << entry.name << " " << parameter->name;
    }
    EXPECT_GT(boxes, 0u) << entry.name;
  }
}

}  // namespace
