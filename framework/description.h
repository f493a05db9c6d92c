// The description of an object: what it is, and every parameter its
// messages and float inlets set, with range, unit and the value the object
// starts with. Each object keeps its description beside its sources
// (objects/NAME/parameters.h); its methods check their ranges against it,
// and the hosts' listings, the LV2 Turtle and the Pd help patches are made
// from it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

namespace tildefx {

enum class ParameterKind {
  Number,  // any number in the range
  Switch,  // 0 or 1
  Choice,  // a whole number from the minimum up, each with a name
};

// Factor: a coefficient, 1 being unity (a ratio, a width).
enum class Unit { None, Milliseconds, Percent, Hertz, Decibels, Octaves, Degrees, Bits, Factor };

// What the object does with a value outside the range.
enum class OutOfRange {
  Refused,          // prints the error line, changes nothing
  Clamped,          // prints the error line, then takes the nearer bound
  ClampedSilently,  // takes the nearer bound without a line
  IgnoredSilently,  // changes nothing, without a line
};

// How a value reaches the object.
enum class Route {
  Message,      // a message to the left inlet whose selector is the name
  FloatInlet,   // a number to the float inlet `inlet`
  ChoiceNames,  // a message without argument: the name of the chosen value
};

// The names of a choice's values, from its minimum up.
struct Names {
  const char* const* names = nullptr;
  int count = 0;
};

template <size_t N>
constexpr Names names_of(const char* const (&names)[N]) {
  return {names, static_cast<int>(N)};
}

// A description writes each parameter as a list of these fields in this
// order, the trailing ones left out where they keep their defaults.
struct Parameter {
  const char* name;   // the selector of its message, or the role of its inlet: "time", "ratio"
  const char* label;  // for a host's control: "Filter frequency"
  double minimum;     // both bounds are accepted
  double maximum;
  // The value the object starts with. It may lie outside the range where
  // the object starts at a setting no message can make.
  double start;
  Unit unit;
  const char* error;  // the object's error line for a value out of range; null if it prints none
  ParameterKind kind = ParameterKind::Number;
  Names choices = {};
  Route route = Route::Message;
  int inlet = 0;                   // FloatInlet: its number
  const char* assist = nullptr;    // FloatInlet: its assist text
  OutOfRange outOfRange = OutOfRange::Refused;
  const char* note = nullptr;  // what the range and unit leave unsaid
  // Its method rebuilds a table: far costlier than any other message, so a
  // host with an audio thread of its own sends it from elsewhere.
  bool costly = false;
};

// What kind of effect an object is, for hosts that sort plug-ins.
enum class Category { Delay, Pitch, Dynamics, Distortion, Utility, Waveshaper };

struct Description {
  const char* summary;  // one sentence
  Category category;
  int signalInlets;
  int signalOutlets;
  bool noteLists;  // takes "list" NOTE VELOCITY
  const Parameter* parameters;
  int parameterCount;
  // The same samples however the input is cut into blocks: the perform
  // routine keeps only per-sample state, reads its parameters once per
  // block and counts nothing in blocks (no ramp over a block, no glide or
  // history counted in blocks).
  bool anyBlockLength;
  // The object outputs the oldest block of a history at least this long,
  // max(history, n) - n samples late at block length n; 0 for none.
  int history;
};

template <size_t N>
constexpr Description describe(const char* summary, Category category, int signalInlets, int signalOutlets,
                               bool noteLists, const Parameter (&parameters)[N], bool anyBlockLength = false,
                               int history = 0) {
  return {summary,    category, signalInlets,  signalOutlets, noteLists, parameters, static_cast<int>(N),
          anyBlockLength, history};
}

// An object's name with its description, as the build lists them.
struct NamedDescription {
  const char* name;  // "grainfall~"
  const Description* description;
};

// The description of the object of that name in the list, or null.
template <size_t N>
const Description* find_description(const NamedDescription (&list)[N], const char* name) {
  for (const NamedDescription& entry : list)
    if (std::strcmp(entry.name, name) == 0) return entry.description;
  return nullptr;
}

// A host sends 32-bit floats: the lowest and the highest float that lie
// within the range (0.01 is 0.0099999998 as a float, which the object
// refuses; 0.0100000007 is the first it accepts).
inline float lowest_float(const Parameter& parameter) {
  const float bound = static_cast<float>(parameter.minimum);
  return bound < parameter.minimum ? std::nextafter(bound, INFINITY) : bound;
}

inline float highest_float(const Parameter& parameter) {
  const float bound = static_cast<float>(parameter.maximum);
  return bound > parameter.maximum ? std::nextafter(bound, -INFINITY) : bound;
}

// Where a host's control for the parameter rests before it is moved: the
// start, or the nearer bound when the object starts outside the range.
inline float resting_float(const Parameter& parameter) {
  const float start = static_cast<float>(parameter.start);
  if (!(start >= lowest_float(parameter))) return lowest_float(parameter);
  if (start > highest_float(parameter)) return highest_float(parameter);
  return start;
}

inline bool starts_in_range(const Parameter& parameter) {
  return parameter.start >= parameter.minimum && parameter.start <= parameter.maximum;
}

// Switches and choices take whole numbers.
inline bool takes_whole_numbers(const Parameter& parameter) { return parameter.kind != ParameterKind::Number; }

}  // namespace tildefx
