// The objects against their descriptions (objects/NAME/parameters.h): every
// message and float inlet is described; each bound, as the 32-bit float a
// host sends, is accepted, and one float beyond it (one whole number for
// switches and choices) gets the object's own error line and changes
// nothing, or what the description says instead; the start is what the
// object starts with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "object_descriptions.h"
#include "rig.h"
#include "test_files.h"

namespace {

using tildefx::Description;
using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::Route;

struct Object {
  std::string name;
  const Description& description;
};

std::vector<Object> described_objects() {
  std::vector<Object> objects;
  for (const tildefx::NamedDescription& entry : OBJECT_DESCRIPTIONS) objects.push_back({entry.name, *entry.description});
  return objects;
}

std::vector<Parameter> parameters_of(const Description& description) {
  return {description.parameters, description.parameters + description.parameterCount};
}

// Every digit a double holds, so that the object receives the value itself.
std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// The message that gives the parameter this value: "time 500", "2: -6",
// "just".
std::string message_for(const Parameter& parameter, double value) {
  switch (parameter.route) {
    case Route::Message: return std::string(parameter.name) + " " + exact(value);
    case Route::FloatInlet: return std::to_string(parameter.inlet) + ": " + exact(value);
    case Route::ChoiceNames: return parameter.choices.names[static_cast<int>(value - parameter.minimum)];
  }
  return "";
}

// One step beyond each bound: the next whole number or the next float.
double below(const Parameter& parameter) {
  const float bound = tildefx::lowest_float(parameter);
  return tildefx::takes_whole_numbers(parameter) ? bound - 1.0 : std::nextafter(bound, -INFINITY);
}

double above(const Parameter& parameter) {
  const float bound = tildefx::highest_float(parameter);
  return tildefx::takes_whole_numbers(parameter) ? bound + 1.0 : std::nextafter(bound, INFINITY);
}

std::vector<std::string> error_lines(const std::vector<std::string>& lines) {
  std::vector<std::string> errors;
  for (const std::string& line : lines)
    if (line.rfind("error", 0) == 0) errors.push_back(line);
  return errors;
}

// The error lines of a fresh instance after one message.
std::vector<std::string> errors_after(const std::string& object, const std::string& message) {
  Rig rig(object);
  rig.send(message);
  return error_lines(rig.console());
}

// Settings under which the delays' parameters are heard within a render:
// short delays whose repeats come back many times, modulated, filtered and
// shifted.
const std::map<std::string, std::vector<std::string>> AUDIBLE = {
    {"grainfall~", {"time 50", "feedback 100", "octaveVariation 1", "filterFreq 2000"}},
    {"echoloom~", {"time 20", "lfoDepth 50", "heads 2", "filterFreq 2000"}},
    {"tonewarp~", {"time 50", "pitchFactor 19"}}};

// The object's audible settings but the one of this parameter.
std::vector<std::string> audible_without(const std::string& object, const Parameter& parameter) {
  std::vector<std::string> messages;
  const auto settings = AUDIBLE.find(object);
  if (settings == AUDIBLE.end()) return messages;
  for (const std::string& message : settings->second)
    if (message.rfind(std::string(parameter.name) + " ", 0) != 0) messages.push_back(message);
  return messages;
}

// A fresh instance's output after its audible settings and the messages.
Channels render(const std::string& object, const Parameter& parameter, const std::vector<std::string>& messages) {
  Rig rig(object);
  for (const std::string& message : audible_without(object, parameter)) rig.send(message);
  for (const std::string& message : messages) rig.send(message);
  rig.console();
  return rig.run_channels(test_input(rig.instance().signal_inlets(), 16384, 256));
}

// Guards the loops below against an empty list.
TEST(Parameters, EveryObjectIsDescribed) {
  EXPECT_EQ(std::size(OBJECT_DESCRIPTIONS), 7u);
  for (const Object& object : described_objects()) EXPECT_GT(object.description.parameterCount, 0) << object.name;
}

// Each message with a number and each float inlet is a parameter, and the
// description's signals, note lists and assist texts are the object's.
TEST(Parameters, TheDescriptionsListWhatTheObjectsBind) {
  for (const Object& object : described_objects()) {
    Rig rig(object.name);
    const standin::ClassInfo info = rig.instance().class_info();
    std::set<std::string> numberMessages, wordMessages;
    for (const standin::Binding& binding : info.messages)
      (binding.kind == host::ARG_FLOAT ? numberMessages : wordMessages).insert(binding.selector);
    std::set<std::string> describedMessages;
    std::set<int> describedInlets;
    for (const Parameter& parameter : parameters_of(object.description)) {
      if (parameter.route == Route::Message) describedMessages.insert(parameter.name);
      if (parameter.route == Route::FloatInlet) {
        describedInlets.insert(parameter.inlet);
        EXPECT_EQ(rig.instance().assist(false, parameter.inlet), parameter.assist) << parameter.name;
      }
      if (parameter.route == Route::ChoiceNames) {
        for (int i = 0; i < parameter.choices.count; i++) EXPECT_EQ(wordMessages.count(parameter.choices.names[i]), 1u);
      }
    }
    EXPECT_EQ(describedMessages, numberMessages) << object.name;
    EXPECT_EQ(describedInlets, std::set<int>(info.floatInlets.begin(), info.floatInlets.end())) << object.name;
    EXPECT_EQ(wordMessages.count("list"), object.description.noteLists ? 1u : 0u) << object.name;
    EXPECT_EQ(rig.instance().signal_inlets(), object.description.signalInlets) << object.name;
    EXPECT_EQ(rig.instance().signal_outlets(), object.description.signalOutlets) << object.name;
  }
}

TEST(Parameters, EachBoundIsAcceptedAndOneStepBeyondGetsTheObjectsLine) {
  for (const Object& object : described_objects()) {
    for (const Parameter& parameter : parameters_of(object.description)) {
      const std::string name = object.name + " " + parameter.name;
      if (parameter.route == Route::ChoiceNames) {
        for (int i = 0; i < parameter.choices.count; i++)
          EXPECT_EQ(errors_after(object.name, parameter.choices.names[i]), std::vector<std::string>{}) << name;
        continue;
      }
      EXPECT_EQ(errors_after(object.name, message_for(parameter, tildefx::lowest_float(parameter))),
                std::vector<std::string>{}) << name << " at its minimum";
      EXPECT_EQ(errors_after(object.name, message_for(parameter, tildefx::highest_float(parameter))),
                std::vector<std::string>{}) << name << " at its maximum";
      std::vector<std::string> refusal;
      if (parameter.error != nullptr) refusal.push_back("error: " + object.name + ": " + parameter.error);
      EXPECT_EQ(errors_after(object.name, message_for(parameter, below(parameter))), refusal) << name << " below";
      EXPECT_EQ(errors_after(object.name, message_for(parameter, above(parameter))), refusal) << name << " above";
    }
  }
}

// Refused or ignored, a value beyond a bound changes nothing; clamped, it
// sounds as the bound does.
TEST(Parameters, ValuesBeyondTheBoundsDoWhatTheDescriptionSays) {
  for (const Object& object : described_objects()) {
    for (const Parameter& parameter : parameters_of(object.description)) {
      if (parameter.route == Route::ChoiceNames) continue;  // a name is never out of range
      const std::string name = object.name + " " + parameter.name;
      const Channels untouched = render(object.name, parameter, {});
      const bool clamps =
          parameter.outOfRange == OutOfRange::Clamped || parameter.outOfRange == OutOfRange::ClampedSilently;
      const Channels atMinimum =
          clamps ? render(object.name, parameter, {message_for(parameter, parameter.minimum)}) : untouched;
      const Channels atMaximum =
          clamps ? render(object.name, parameter, {message_for(parameter, parameter.maximum)}) : untouched;
      EXPECT_EQ(first_difference(atMinimum, render(object.name, parameter, {message_for(parameter, below(parameter))})),
                "") << name << " below";
      EXPECT_EQ(first_difference(atMaximum, render(object.name, parameter, {message_for(parameter, above(parameter))})),
                "") << name << " above";
    }
  }
}

// tildefx info lists the description after the inlets and messages.
TEST(Parameters, TildefxInfoListsThem) {
  const CommandRun tonewarp = run_command(TILDEFX_TOOL " info tonewarp~");
  ASSERT_EQ(tonewarp.status, 0) << tonewarp.output;
  for (const char* line : {"\n  time         1 to 5000 ms, starts at 300\n", "\n                 19  3/2 fifth\n",
                           "\n  loopDepth    10 to 100 %, starts at 25\n                 Percent of the delay time.\n"})
    EXPECT_NE(tonewarp.output.find(line), std::string::npos) << line << tonewarp.output;
  const CommandRun levelsway = run_command(TILDEFX_TOOL " info levelsway~");
  EXPECT_NE(levelsway.output.find("\n  ratio       inlet 1: 0.01 to 10, starts at 0.928571\n"), std::string::npos)
      << levelsway.output;
  EXPECT_NE(levelsway.output.find("Out of range: the error line, then the nearer bound."), std::string::npos)
      << levelsway.output;
  const CommandRun grainfall = run_command(TILDEFX_TOOL " info grainfall~");
  EXPECT_NE(grainfall.output.find("\n  intonation           the message 12tet or just, starts at just\n"),
            std::string::npos) << grainfall.output;
}

// A plug-in copied under another name has no description: its listing
// ends with its messages and inlets.
TEST(Parameters, TildefxInfoListsNoneForAnObjectWithoutADescription) {
  const std::string folder = test_folder();
  ASSERT_EQ(run_command("cp " TILDEFX_PLUGIN_DIR "/sidesplit~.so " + folder + "/copied~.so").status, 0);
  const CommandRun copied = run_command(TILDEFX_TOOL " --path " + folder + " info copied~");
  ASSERT_EQ(copied.status, 0) << copied.output;
  const CommandRun original = run_command(TILDEFX_TOOL " info sidesplit~");
  std::string listing = original.output.substr(0, original.output.find("\nparameters"));
  listing.replace(0, std::string("sidesplit~").size(), "copied~");
  EXPECT_EQ(copied.output, listing);
}

// A start within the range is a value a message gives again without a
// change; a start beyond it is one no message makes, so the nearer bound
// sounds different. (Both under the audible settings.)
TEST(Parameters, EachStartIsWhereTheObjectStarts) {
  for (const Object& object : described_objects()) {
    for (const Parameter& parameter : parameters_of(object.description)) {
      const std::string name = object.name + " " + parameter.name;
      const Channels untouched = render(object.name, parameter, {});
      const double value = tildefx::starts_in_range(parameter) ? parameter.start : tildefx::resting_float(parameter);
      const Channels sent = render(object.name, parameter, {message_for(parameter, value)});
      if (tildefx::starts_in_range(parameter))
        EXPECT_EQ(first_difference(untouched, sent), "") << name;
      else
        EXPECT_NE(first_difference(untouched, sent), "") << name;
    }
  }
}

}  // namespace
