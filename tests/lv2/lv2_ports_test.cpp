// The bundle's Turtle, as lilv reads it, against the objects' descriptions
// (tests/parameters_test.cpp holds the objects to the same descriptions):
// a control port per parameter, in order, with its range and start as the
// 32-bit floats a host sends and its choices labelled; the latency port last,
// reading 0; and a demo preset that sounds as the demo's settings do.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "lv2_reference.h"
#include "lv2_world.h"
#include "object_descriptions.h"
#include "rig.h"

namespace {

using tildefx::Parameter;
using tildefx::Route;

std::string base_name(const std::string& object) { return object.substr(0, object.find('~')); }

std::vector<std::string> names_of(const Parameter& parameter) {
  return {parameter.choices.names, parameter.choices.names + parameter.choices.count};
}

// Guards the loops below against an empty bundle.
TEST(Lv2Ports, EveryDescribedObjectIsAPlugin) {
  EXPECT_EQ(all_objects().size(), std::size(OBJECT_DESCRIPTIONS));
  for (const tildefx::NamedDescription& entry : OBJECT_DESCRIPTIONS)
    EXPECT_NE(find_plugin(base_name(entry.name)), nullptr) << entry.name;
}

TEST(Lv2Ports, TheControlsAreTheDescribedParameters) {
  for (const tildefx::NamedDescription& entry : OBJECT_DESCRIPTIONS) {
    const std::vector<ControlPort> ports = control_ports(base_name(entry.name));
    ASSERT_EQ(ports.size(), static_cast<size_t>(entry.description->parameterCount)) << entry.name;
    for (size_t i = 0; i < ports.size(); i++) {
      const Parameter& parameter = entry.description->parameters[i];
      const ControlPort& port = ports[i];
      const std::string name = std::string(entry.name) + " " + parameter.name;
      EXPECT_EQ(port.symbol, parameter.name) << name;
      EXPECT_EQ(port.minimum, tildefx::lowest_float(parameter)) << name;
      EXPECT_EQ(port.maximum, tildefx::highest_float(parameter)) << name;
      EXPECT_EQ(port.defaultValue, tildefx::resting_float(parameter)) << name;
      EXPECT_EQ(port.integer, tildefx::takes_whole_numbers(parameter)) << name;
      EXPECT_EQ(port.inlet, parameter.route == Route::FloatInlet ? parameter.inlet : -1) << name;
      EXPECT_EQ(port.selectors, parameter.route == Route::ChoiceNames ? names_of(parameter) : std::vector<std::string>{})
          << name;
      EXPECT_EQ(port.labels, names_of(parameter)) << name;
      EXPECT_EQ(port.hasUnit, parameter.unit != tildefx::Unit::None) << name;
    }
  }
}

TEST(Lv2Ports, TheLatencyPortComesLastAndReadsTheLatency) {
  for (const std::string& object : all_objects()) {
    const LilvPlugin* plugin = find_plugin(object);
    ASSERT_TRUE(lilv_plugin_has_latency(plugin)) << object;
    EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), lilv_plugin_get_num_ports(plugin) - 1) << object;
    Lv2Instance instance(object);
    ASSERT_TRUE(instance.created()) << object;
    instance.run(test_input(object == "sidesplit" ? 2 : 1, 256), {64});
    EXPECT_EQ(instance.latency(), static_cast<float>(fifo_latency(object, 64) + own_latency(object, 64))) << object;
  }
}

// The messages of each object's demo settings, by object name, as the
// build read them for the presets.
std::map<std::string, std::vector<std::string>> demo_messages() {
  std::map<std::string, std::vector<std::string>> messages;
  std::ifstream in(TILDEFX_LV2_DEMO_MESSAGES);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    messages[base_name(line.substr(0, tab))].push_back(line.substr(tab + 1));
  }
  return messages;
}

// A message of numbers alone is a note list, which no preset holds.
bool is_note_list(const std::string& message) {
  std::istringstream words(message);
  for (std::string word; words >> word;)
    if (word.find_first_not_of("0123456789.-") != std::string::npos) return false;
  return true;
}

TEST(Lv2Ports, TheDemoPresetSoundsAsTheDemoSettings) {
  const std::map<std::string, std::vector<std::string>> demos = demo_messages();
  ASSERT_EQ(demos.size(), std::size(OBJECT_DESCRIPTIONS));
  for (const auto& [object, messages] : demos) {
    const std::vector<std::map<std::string, float>> presets = preset_values(object);
    ASSERT_EQ(presets.size(), 1u) << object;
    Lv2Instance plugin(object);
    ASSERT_TRUE(plugin.created()) << object;
    for (const auto& [symbol, value] : presets[0]) plugin.set(symbol, value);
    Rig rig(object + "~");
    for (const std::string& message : messages)
      if (!is_note_list(message)) rig.send(message);
    rig.console();
    const Channels input = test_input(object == "sidesplit" ? 2 : 1, 16384, 256);
    // The stand-in host at the same block length holds the object's own
    // latency too; the FIFO's comes on top.
    EXPECT_EQ(first_difference(late(rig.run_channels(input), fifo_latency(object, 64)), plugin.run(input, {64})), "")
        << object;
    EXPECT_EQ(plugin.log(), std::vector<std::string>{}) << object;
  }
}

}  // namespace
