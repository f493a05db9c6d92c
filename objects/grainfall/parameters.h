// What grainfall~ is and the parameters of its messages: range, unit,
// start and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace grainfall {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;
using tildefx::Unit;

inline constexpr Parameter TIME = {
    "time", "Time", 1.0, 10000.0, 300.0, Unit::Milliseconds, "time value must be >= 1.0 ms and <= 10000.0 ms."};
inline constexpr Parameter TIME_VARIATION = {"timeVariation", "Time variation", 0.0, 100.0, 0.0, Unit::Percent,
                                             "timeVariation value must be >= 0% and <= 100%."};
inline constexpr Parameter FEEDBACK = {
    "feedback", "Feedback", 0.0, 200.0, 0.0, Unit::Percent, "feedback value must be >= 0% and <= 200%."};
inline constexpr Parameter FILTER_FREQ = {"filterFreq", "Filter frequency", 20.0, 20000.0, 20000.0, Unit::Hertz,
                                          "filterFreq value must be >= 20 Hz and <= 20000 Hz."};
inline constexpr Parameter RESONANCE = {
    "resonance", "Resonance", 0.0, 100.0, 50.0, Unit::Percent, "resonance value must be >= 0% and <= 100%."};
inline constexpr Parameter DENSITY = {
    "density", "Density", 0.0, 200.0, 160.0, Unit::Percent, "density value must be >= 0% and <= 200%."};
inline constexpr Parameter GRAIN_SIZE = {"grainSize", "Grain size", 0.0, 50.0, 10.0, Unit::Percent,
                                         "grainSize value must be >= 0% and <= 50%.", ParameterKind::Number, {},
                                         Route::Message, 0, nullptr, OutOfRange::Refused,
                                         "Percent of the delay time."};
inline constexpr Parameter GRAIN_START_VARIATION = {"grainStartVariation", "Grain start variation", 0.0, 100.0, 0.0,
                                                    Unit::Percent,
                                                    "grainStartVariation value must be >= 0% and <= 100%."};
inline constexpr Parameter OCTAVE = {"octave", "Octave", -4.0, 4.0, 0.0, Unit::Octaves,
                                     "octave value must be >= -4.0 and <= 4.0.", ParameterKind::Number, {},
                                     Route::Message, 0, nullptr, OutOfRange::Refused,
                                     "A new held note sets it too: notes 0 to 127 give -5 to 5."};
inline constexpr Parameter OCTAVE_VARIATION = {"octaveVariation", "Octave variation", 0.0, 2.0, 0.0, Unit::Octaves,
                                               "octaveVariation value must be >= 0.0 and <= 2.0."};
inline constexpr Parameter GRAIN_REVERSAL = {"grainReversal", "Grain reversal", 0.0, 100.0, 0.0, Unit::Percent,
                                             "grainReversal value must be >= 0% and <= 100%."};

// The two intonations are two messages without argument.
inline constexpr const char* INTONATIONS[] = {"12tet", "just"};
inline constexpr Parameter INTONATION = {"intonation", "Intonation", 0.0, 1.0, 1.0, Unit::None, nullptr,
                                         ParameterKind::Choice, tildefx::names_of(INTONATIONS), Route::ChoiceNames};

inline constexpr Parameter PARAMETERS[] = {TIME,        TIME_VARIATION, FEEDBACK,         FILTER_FREQ,
                                           RESONANCE,   DENSITY,        GRAIN_SIZE,       GRAIN_START_VARIATION,
                                           OCTAVE,      OCTAVE_VARIATION, GRAIN_REVERSAL, INTONATION};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Granular delay: grains read back from a long delay line, transposed by octaves and by held notes.",
    tildefx::Category::Delay, 1, 1, true, PARAMETERS);

}  // namespace grainfall
