// What tonewarp~ is and the parameters of its messages: range, unit, start
// and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace tonewarp {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;
using tildefx::Unit;

inline constexpr Parameter TIME = {
    "time", "Time", 1.0, 5000.0, 300.0, Unit::Milliseconds, "time value must be >= 1.0 ms and <= 5000.0 ms."};

// The intervals of the interval table, from unison to the octave: a just
// ratio, or ET for an equal-tempered step.
inline constexpr const char* INTERVAL_NAMES[] = {
    "1/1 unison",
    "ET minor second",
    "16/15 minor second",
    "10/9 minor whole tone",
    "ET major second",
    "9/8 major whole tone",
    "8/7 septimal whole tone",
    "7/6 septimal minor third",
    "ET minor third",
    "6/5 minor third",
    "5/4 major third",
    "ET major third",
    "9/7 septimal major third",
    "4/3 fourth",
    "ET fourth",
    "7/5 lesser septimal tritone",
    "ET tritone",
    "10/7 greater septimal tritone",
    "ET fifth",
    "3/2 fifth",
    "14/9 septimal minor sixth",
    "11/7 undecimal minor sixth",
    "ET minor sixth",
    "8/5 minor sixth",
    "5/3 major sixth",
    "ET major sixth",
    "12/7 septimal major sixth",
    "7/4 harmonic seventh",
    "16/9 small minor seventh",
    "ET minor seventh",
    "9/5 large minor seventh",
    "13/7 neutral seventh",
    "15/8 major seventh",
    "ET major seventh",
    "2/1 octave",
};

// The argument is an index into the interval table, not a number of cents,
// whatever the error line says; it is truncated before the check, so 34.9
// selects the octave.
inline constexpr Parameter PITCH_FACTOR = {"pitchFactor", "Interval", 0.0, 34.0, 0.0, Unit::None,
                                           "pitchFactor values must between 0 and 1200 cents.", ParameterKind::Choice,
                                           tildefx::names_of(INTERVAL_NAMES)};

inline constexpr Parameter FEEDBACK = {
    "feedback", "Feedback", 0.0, 200.0, 100.0, Unit::Percent, "feedback value must be >= 0% and <= 200%."};
inline constexpr Parameter OCTAVE = {
    "octave", "Octave", -3.0, 3.0, 0.0, Unit::Octaves, "octave value must be >= -3.0 and <= 3.0."};

// The error line names "lfoDepth", not "loopDepth".
inline constexpr Parameter LOOP_DEPTH = {"loopDepth", "Loop depth", 10.0, 100.0, 25.0, Unit::Percent,
                                         "lfoDepth value must be >= 10.0% and <= 100.0%.", ParameterKind::Number, {},
                                         Route::Message, 0, nullptr, OutOfRange::Refused,
                                         "Percent of the delay time."};

inline constexpr Parameter PARAMETERS[] = {TIME, PITCH_FACTOR, FEEDBACK, OCTAVE, LOOP_DEPTH};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Pitch-shifting delay: an interval from a table of 35 within the octave, times a number of octaves, with "
    "saturating feedback.",
    tildefx::Category::Pitch, 1, 1, false, PARAMETERS);

}  // namespace tonewarp
