#include "parameter_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "object_descriptions.h"

namespace tildefx_tool {

namespace {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;

// Six significant digits, as printf's %g gives them on every platform.
std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

const char* unit_text(tildefx::Unit unit) {
  switch (unit) {
    case tildefx::Unit::Milliseconds: return " ms";
    case tildefx::Unit::Percent: return " %";
    case tildefx::Unit::Hertz: return " Hz";
    case tildefx::Unit::Decibels: return " dB";
    case tildefx::Unit::Octaves: return " octaves";
    case tildefx::Unit::Degrees: return " degrees";
    case tildefx::Unit::Bits: return " bits";
    default: return "";
  }
}

// The name of a choice's value, or null.
const char* choice_name(const Parameter& parameter, double value) {
  const double index = value - parameter.minimum;
  if (parameter.kind != ParameterKind::Choice || !(index >= 0.0 && index < parameter.choices.count)) return nullptr;
  return parameter.choices.names[static_cast<int>(index)];
}

// "inlet 1: 0.01 to 10, starts at 0.928571", "0 to 5, starts at 0 (sine)".
std::string summary(const Parameter& parameter) {
  std::string text = parameter.route == Route::FloatInlet ? "inlet " + std::to_string(parameter.inlet) + ": " : "";
  if (parameter.route == Route::ChoiceNames) {
    text += "the message";
    for (int i = 0; i < parameter.choices.count; i++)
      text += std::string(i == 0 ? " " : " or ") + parameter.choices.names[i];
  } else {
    text += number(parameter.minimum) + (parameter.kind == ParameterKind::Switch ? " or " : " to ") +
            number(parameter.maximum) + unit_text(parameter.unit);
  }
  const char* startName = choice_name(parameter, parameter.start);
  if (parameter.route == Route::ChoiceNames && startName != nullptr) return text + ", starts at " + startName;
  text += ", starts at " + number(parameter.start);
  if (startName != nullptr) text += std::string(" (") + startName + ")";
  if (!tildefx::starts_in_range(parameter)) text += ", which no number sets";
  return text;
}

// The lines under the summary: the choices, the note, a departure.
std::vector<std::string> details(const Parameter& parameter) {
  std::vector<std::string> lines;
  if (parameter.kind == ParameterKind::Choice && parameter.route != Route::ChoiceNames) {
    const size_t width = number(parameter.maximum).size();
    for (int i = 0; i < parameter.choices.count; i++) {
      const std::string value = number(parameter.minimum + i);
      lines.push_back(std::string(width - value.size(), ' ') + value + "  " + parameter.choices.names[i]);
    }
  }
  if (parameter.note != nullptr) lines.push_back(parameter.note);
  switch (parameter.outOfRange) {
    case OutOfRange::Clamped: lines.push_back("Out of range: the error line, then the nearer bound."); break;
    case OutOfRange::ClampedSilently: lines.push_back("Out of range: the nearer bound, without a line."); break;
    case OutOfRange::IgnoredSilently: lines.push_back("Out of range: ignored without a line."); break;
    case OutOfRange::Refused: break;
  }
  return lines;
}

}  // namespace

void print_parameters(const std::string& objectName) {
  const tildefx::Description* description = tildefx::find_description(OBJECT_DESCRIPTIONS, objectName.c_str());
  if (description == nullptr) return;
  const Parameter* begin = description->parameters;
  const Parameter* end = begin + description->parameterCount;
  size_t width = 0;
  for (const Parameter* p = begin; p != end; p++) width = std::max(width, std::strlen(p->name));
  std::printf("\nparameters (a number out of range prints the error line and changes nothing, unless said below):\n");
  for (const Parameter* p = begin; p != end; p++) {
    std::printf("  %-*s  %s\n", static_cast<int>(width), p->name, summary(*p).c_str());
    for (const std::string& line : details(*p)) std::printf("  %-*s    %s\n", static_cast<int>(width), "", line.c_str());
  }
}

}  // namespace tildefx_tool
