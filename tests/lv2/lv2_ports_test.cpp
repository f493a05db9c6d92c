// The Turtle against the objects: every control port's range is what the
// object accepts (its bounds, as the 32-bit floats a host sends, pass; one
// float step beyond each is refused) and its default is what the object
// starts with (sending it changes nothing that can be heard).
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "lv2_world.h"
#include "rig.h"

namespace {

// Ports whose object refuses nothing: every number is a mode, or a value
// out of range is ignored without a line.
const std::set<std::string> ACCEPTS_EVERY_NUMBER = {"sidesplit:mode", "levelsway:rmsDetect"};

// Where the object starts at a setting its messages cannot make: bitgrind~
// at the full 32-bit word (above the 24 bits of its depth inlet), the upper
// partials of overtoner~ below the -60 dB of its messages, and echoloom~'s
// first head 0.75 table steps into its cycle, which no angle gives.
const std::set<std::string> DEFAULT_UNREACHABLE = {"bitgrind:depth", "overtoner:p2", "overtoner:p3",
                                                   "overtoner:p4",   "overtoner:p5", "overtoner:p7",
                                                   "echoloom:lfoPhase"};

size_t error_count(const std::vector<std::string>& lines) {
  size_t count = 0;
  for (const std::string& line : lines) count += line.rfind("error", 0) == 0;
  return count;
}

std::string object_name(const std::string& object) { return object + "~"; }

// The console of a fresh instance after one message.
std::vector<std::string> console_after(const std::string& object, const std::string& message) {
  Rig rig(object_name(object));
  rig.send(message);
  return rig.console();
}

Channels render(const std::string& object, const std::vector<std::string>& messages) {
  Rig rig(object_name(object));
  for (const std::string& message : messages) rig.send(message);
  rig.console();
  const int inlets = rig.instance().signal_inlets();
  return rig.run_channels(test_input(inlets, 16384, 256));
}

// Guards the loops below against an empty bundle.
TEST(Lv2Ports, EveryPluginHasControls) {
  const std::vector<std::string> objects = all_objects();
  EXPECT_EQ(objects.size(), 7u);
  for (const std::string& object : objects) EXPECT_FALSE(control_ports(object).empty()) << object;
}

TEST(Lv2Ports, RangesAreWhatTheObjectsAccept) {
  for (const std::string& object : all_objects()) {
    for (const ControlPort& port : control_ports(object)) {
      const std::string name = object + ":" + port.symbol;
      if (!port.selectors.empty()) {
        // A choice: every value names a message.
        EXPECT_EQ(port.minimum, 0.0f) << name;
        EXPECT_EQ(port.maximum, static_cast<float>(port.selectors.size() - 1)) << name;
        for (size_t i = 0; i < port.selectors.size(); i++)
          EXPECT_EQ(error_count(console_after(object, port.selectors[i])), 0u) << name;
        continue;
      }
      if (port.integer) {
        EXPECT_EQ(port.minimum, std::floor(port.minimum)) << name;
        EXPECT_EQ(port.maximum, std::floor(port.maximum)) << name;
      }
      EXPECT_EQ(error_count(console_after(object, message_for(port, port.minimum))), 0u) << name << " minimum";
      EXPECT_EQ(error_count(console_after(object, message_for(port, port.maximum))), 0u) << name << " maximum";
      // One step: the next whole number for an integer port, else the next float.
      const float below = port.integer ? port.minimum - 1.0f : std::nextafter(port.minimum, -INFINITY);
      const float above = port.integer ? port.maximum + 1.0f : std::nextafter(port.maximum, INFINITY);
      const size_t refusals = ACCEPTS_EVERY_NUMBER.count(name) ? 0u : 1u;
      EXPECT_EQ(error_count(console_after(object, message_for(port, below))), refusals) << name << " below";
      EXPECT_EQ(error_count(console_after(object, message_for(port, above))), refusals) << name << " above";
    }
  }
}

TEST(Lv2Ports, DefaultsAreWhatTheObjectsStartWith) {
  for (const std::string& object : all_objects()) {
    const Channels untouched = render(object, {});
    for (const ControlPort& port : control_ports(object)) {
      const std::string name = object + ":" + port.symbol;
      EXPECT_GE(port.defaultValue, port.minimum) << name;
      EXPECT_LE(port.defaultValue, port.maximum) << name;
      if (DEFAULT_UNREACHABLE.count(name)) continue;
      EXPECT_EQ(first_difference(untouched, render(object, {message_for(port, port.defaultValue)})), "") << name;
    }
  }
}

}  // namespace
