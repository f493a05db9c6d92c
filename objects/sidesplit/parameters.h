// What sidesplit~ is and the parameters of its float inlets: range, unit,
// start and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace sidesplit {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;
using tildefx::Unit;

// Both gains print the same line, which names neither.
inline constexpr const char* GAIN_ERROR = "value must be >= -12.0dB and <= 12.0dB.";

inline constexpr Parameter MID_GAIN = {"midGain", "Mid gain", -12.0, 12.0, 0.0, Unit::Decibels, GAIN_ERROR,
                                       ParameterKind::Number, {}, Route::FloatInlet, 2, "(float) Mid Gain (-12 - 12)"};
inline constexpr Parameter SIDE_GAIN = {"sideGain", "Side gain", -12.0, 12.0, 0.0, Unit::Decibels, GAIN_ERROR,
                                        ParameterKind::Number, {}, Route::FloatInlet, 3,
                                        "(float) Side Gain (-12 - 12)"};

// Any number is a mode: above 1 is 1, below 0 is 0, the rest truncated.
inline constexpr const char* DIRECTIONS[] = {"LR>MS", "MS>LR"};
inline constexpr Parameter MODE = {"mode", "Mode", 0.0, 1.0, 0.0, Unit::None, nullptr, ParameterKind::Choice,
                                   tildefx::names_of(DIRECTIONS), Route::FloatInlet, 4,
                                   "(float) LR>MS, MS>LR (0 or 1)", OutOfRange::ClampedSilently};

inline constexpr Parameter PARAMETERS[] = {MID_GAIN, SIDE_GAIN, MODE};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Stereo matrix between left/right and mid/side, with separate mid and side gains.", tildefx::Category::Utility,
    2, 2, false, PARAMETERS, true);

}  // namespace sidesplit
