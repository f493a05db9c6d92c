// The parts of lv2_turtle: a plug-in's ports from its object's
// description, in Turtle and as the adapter's port table, and its demo
// preset.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "description.h"
#include "lv2_host.h"

namespace lv2_turtle {

struct Port {
  lv2_host::PortKind kind;
  std::string symbol;
  std::string name;
  const tildefx::Parameter* parameter = nullptr;  // a Control's
};

// In index order: audio inputs, audio outputs, the note input of an object
// that takes note lists, a control per parameter, and the latency.
std::vector<Port> ports_of(const tildefx::Description& description);

// The port's properties, one per line, for the lv2:port list.
std::string port_turtle(const Port& port, uint32_t index);
// Its lv2_host::PortInfo initialiser.
std::string port_info(const Port& port);

// DEMO_MESSAGES holds one "NAME~<tab>MESSAGE" line per message of the
// objects' demo settings; by object name.
std::map<std::string, std::vector<std::string>> read_demo_messages(const std::string& path);
std::string preset_uri(const std::string& pluginUri);
// The preset: every control where it starts, moved by the demo's messages.
std::string preset_turtle(const std::string& pluginUri, const tildefx::Description& description,
                          const std::vector<std::string>& messages);

// "%.9g" of a float, as a Turtle decimal: "300.0", "0.0100000007".
std::string float_text(float value);

// Prints the reason and ends the program with status 1.
[[noreturn]] void fail(const std::string& reason);

}  // namespace lv2_turtle
