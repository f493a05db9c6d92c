// What bitgrind~ is and the parameters of its float inlets: range, unit,
// start and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace bitgrind {

using tildefx::Parameter;
using tildefx::Route;
using tildefx::Unit;

// The object starts at the full 32-bit word, above the 24 bits the inlet
// accepts.
inline constexpr Parameter DEPTH = [] {
  Parameter p{"depth", "Bit depth", 1.0, 24.0, 32.0, Unit::Bits, "depth value must be >= 1.0 and <= 24.0."};
  p.route = Route::FloatInlet;
  p.inlet = 1;
  p.assist = "(float) Bit Depth (1-24)";
  p.note = "Fractions crossfade between two depths.";
  return p;
}();

inline constexpr Parameter FOLDS = [] {
  Parameter p{"folds", "Sample folding", 0.0, 8.0, 0.0, Unit::None, "folds value must be between 0 and 8."};
  p.route = Route::FloatInlet;
  p.inlet = 2;
  p.assist = "(float) Sample Folding (0-8)";
  p.note = "Groups of 2^folds samples are averaged and held.";
  return p;
}();

inline constexpr Parameter PARAMETERS[] = {DEPTH, FOLDS};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Bit-depth reducer (1 to 24 bits, fractions allowed) and sample folder (averages over 2^folds samples).",
    tildefx::Category::Distortion, 1, 1, false, PARAMETERS);

}  // namespace bitgrind
