// A plug-in's ports: audio and notes from the object's signal inlets,
// outlets and note lists, a control for each parameter of its description,
// and the latency last.
#include <cstdio>
#include <cstring>

#include "lv2_turtle.h"

namespace lv2_turtle {

namespace {

using lv2_host::PortKind;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Unit;

// One channel is "in"/"out", two are a left and a right.
void add_audio(std::vector<Port>& ports, PortKind kind, int count) {
  const bool input = kind == PortKind::AudioIn;
  const std::string symbol = input ? "in" : "out";
  const std::string name = input ? "input" : "output";
  if (count == 1) {
    ports.push_back({kind, symbol, input ? "Input" : "Output"});
  } else if (count == 2) {
    ports.push_back({kind, symbol + "Left", "Left " + name});
    ports.push_back({kind, symbol + "Right", "Right " + name});
  } else {
    fail("an object with " + std::to_string(count) + " signal " + name + "s has no audio port names");
  }
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string whole_text(double value) { return std::to_string(static_cast<long>(value)); }

// The names of a choice's values, separated by spaces.
std::string joined_names(const Parameter& parameter) {
  std::string words;
  for (int i = 0; i < parameter.choices.count; i++) words += std::string(i == 0 ? "" : " ") + parameter.choices.names[i];
  return words;
}

const char* kind_name(PortKind kind) {
  switch (kind) {
    case PortKind::AudioIn: return "AudioIn";
    case PortKind::AudioOut: return "AudioOut";
    case PortKind::Control: return "Control";
    case PortKind::Notes: return "Notes";
    case PortKind::Latency: return "Latency";
  }
  return "";
}

const char* unit_uri(Unit unit) {
  switch (unit) {
    case Unit::Milliseconds: return "units:ms";
    case Unit::Percent: return "units:pc";
    case Unit::Hertz: return "units:hz";
    case Unit::Decibels: return "units:db";
    case Unit::Octaves: return "units:oct";
    case Unit::Degrees: return "units:degree";
    case Unit::Bits: return "tfx:bit";
    case Unit::Factor: return "units:coef";
    case Unit::None: break;
  }
  return nullptr;
}

// The range and the default as the 32-bit floats a host sends; a control
// that takes whole numbers is an integer port.
std::vector<std::string> range_lines(const Parameter& parameter) {
  if (tildefx::takes_whole_numbers(parameter))
    return {"lv2:minimum " + whole_text(parameter.minimum) + " ; lv2:maximum " + whole_text(parameter.maximum) +
            " ; lv2:default " + whole_text(tildefx::resting_float(parameter))};
  return {"lv2:minimum " + float_text(tildefx::lowest_float(parameter)) + " ; lv2:maximum " +
          float_text(tildefx::highest_float(parameter)) + " ; lv2:default " +
          float_text(tildefx::resting_float(parameter))};
}

std::vector<std::string> control_lines(const Parameter& parameter) {
  std::vector<std::string> lines;
  if (parameter.route == tildefx::Route::FloatInlet) lines.push_back("tfx:inlet " + std::to_string(parameter.inlet));
  if (parameter.kind == ParameterKind::Switch) lines.push_back("lv2:portProperty lv2:integer , lv2:toggled");
  if (parameter.kind == ParameterKind::Choice) {
    lines.push_back("lv2:portProperty lv2:integer , lv2:enumeration");
    std::string points = "lv2:scalePoint ";
    for (int i = 0; i < parameter.choices.count; i++)
      points += std::string(i == 0 ? "" : " , ") + "[ rdfs:label " + quoted(parameter.choices.names[i]) +
                " ; rdf:value " + whole_text(parameter.minimum + i) + " ]";
    lines.push_back(points);
    if (parameter.route == tildefx::Route::ChoiceNames) lines.push_back("tfx:selectors " + quoted(joined_names(parameter)));
  }
  // Times and frequencies span decades.
  if (parameter.unit == Unit::Milliseconds || parameter.unit == Unit::Hertz)
    lines.push_back("lv2:portProperty pprops:logarithmic");
  if (unit_uri(parameter.unit) != nullptr) lines.push_back(std::string("units:unit ") + unit_uri(parameter.unit));
  if (parameter.note != nullptr) lines.push_back("rdfs:comment " + quoted(parameter.note));
  for (const std::string& line : range_lines(parameter)) lines.push_back(line);
  return lines;
}

std::vector<std::string> kind_lines(const Port& port) {
  switch (port.kind) {
    case PortKind::AudioIn: return {"a lv2:InputPort , lv2:AudioPort"};
    case PortKind::AudioOut: return {"a lv2:OutputPort , lv2:AudioPort"};
    case PortKind::Notes:
      return {"a lv2:InputPort , atom:AtomPort", "atom:bufferType atom:Sequence", "atom:supports midi:MidiEvent",
              "lv2:designation lv2:control", "lv2:portProperty lv2:connectionOptional"};
    case PortKind::Control: return {"a lv2:InputPort , lv2:ControlPort"};
    case PortKind::Latency:
      return {"a lv2:OutputPort , lv2:ControlPort", "lv2:designation lv2:latency",
              "lv2:portProperty lv2:reportsLatency , lv2:integer", "units:unit units:frame"};
  }
  return {};
}

}  // namespace

std::vector<Port> ports_of(const tildefx::Description& description) {
  std::vector<Port> ports;
  add_audio(ports, PortKind::AudioIn, description.signalInlets);
  add_audio(ports, PortKind::AudioOut, description.signalOutlets);
  if (description.noteLists) ports.push_back({PortKind::Notes, "notes", "Notes"});
  for (int i = 0; i < description.parameterCount; i++) {
    const Parameter& parameter = description.parameters[i];
    ports.push_back({PortKind::Control, parameter.name, parameter.label, &parameter});
  }
  ports.push_back({PortKind::Latency, "latency", "Latency"});
  return ports;
}

std::string port_turtle(const Port& port, uint32_t index) {
  std::vector<std::string> lines = kind_lines(port);
  lines.push_back("lv2:index " + std::to_string(index) + " ; lv2:symbol " + quoted(port.symbol) + " ; lv2:name " +
                  quoted(port.name));
  if (port.kind == PortKind::Control)
    for (const std::string& line : control_lines(*port.parameter)) lines.push_back(line);
  std::string text;
  for (size_t i = 0; i < lines.size(); i++) text += (i == 0 ? "\t\t" : " ;\n\t\t") + lines[i];
  return text;
}

std::string port_info(const Port& port) {
  int inlet = -1;
  std::string selectors = "nullptr";
  float defaultValue = 0.0f;
  bool costly = false;
  if (port.parameter != nullptr) {
    const Parameter& parameter = *port.parameter;
    if (parameter.route == tildefx::Route::FloatInlet) inlet = parameter.inlet;
    if (parameter.route == tildefx::Route::ChoiceNames) selectors = quoted(joined_names(parameter));
    defaultValue = tildefx::resting_float(parameter);
    costly = parameter.costly;
  }
  char defaultText[64];
  std::snprintf(defaultText, sizeof defaultText, "%af", static_cast<double>(defaultValue));
  return std::string("{lv2_host::PortKind::") + kind_name(port.kind) + ", " + quoted(port.symbol) +
         ", " + std::to_string(inlet) + ", " + selectors + ", " + defaultText + ", " + (costly ? "true" : "false") +
         "}";
}

std::string float_text(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  std::string result = text;
  if (result.find_first_of(".e") == std::string::npos) result += ".0";
  return result;
}

}  // namespace lv2_turtle
