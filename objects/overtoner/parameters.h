// What overtoner~ is and the parameters of its messages: range, unit, start
// and error line of each, in the order hosts list them.
#pragma once

#include <cmath>

#include "description.h"

namespace overtoner {

using tildefx::Parameter;
using tildefx::Unit;

// All six print the same line, which names none. The first partial starts
// at 0 dB, the others at a level of 0, below the -60 dB a message can set.
inline constexpr const char* LEVEL_ERROR = "value must be >= -60.0dB and <= 0.0dB.";

inline constexpr Parameter P1 = {"p1", "Partial 1", -60.0, 0.0, 0.0, Unit::Decibels, LEVEL_ERROR};
inline constexpr Parameter P2 = {"p2", "Partial 2", -60.0, 0.0, -INFINITY, Unit::Decibels, LEVEL_ERROR};
inline constexpr Parameter P3 = {"p3", "Partial 3", -60.0, 0.0, -INFINITY, Unit::Decibels, LEVEL_ERROR};
inline constexpr Parameter P4 = {"p4", "Partial 4", -60.0, 0.0, -INFINITY, Unit::Decibels, LEVEL_ERROR};
inline constexpr Parameter P5 = {"p5", "Partial 5", -60.0, 0.0, -INFINITY, Unit::Decibels, LEVEL_ERROR};
inline constexpr Parameter P7 = {"p7", "Partial 7", -60.0, 0.0, -INFINITY, Unit::Decibels, LEVEL_ERROR};

inline constexpr Parameter PARAMETERS[] = {P1, P2, P3, P4, P5, P7};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Chebyshev waveshaper: the partials 1 to 5 and 7 of the input, each at a level in dB.",
    tildefx::Category::Waveshaper, 1, 1, false, PARAMETERS, true);

}  // namespace overtoner
