// What echoloom~ is and the parameters of its messages: range, unit, start
// and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace echoloom {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;
using tildefx::Unit;

inline constexpr Parameter TIME = {
    "time", "Time", 1.0, 5000.0, 100.0, Unit::Milliseconds, "time value must be >= 1.0 ms and <= 5000.0 ms."};
inline constexpr Parameter FEEDBACK = {
    "feedback", "Feedback", 0.0, 200.0, 100.0, Unit::Percent, "feedback value must be >= 0% and <= 200%."};
inline constexpr Parameter LFO_FREQ = {"lfoFreq", "LFO frequency", 0.01, 10.0, 0.2, Unit::Hertz,
                                       "lfoFreq value must be >= 0.01 Hz and <= 10.0 Hz."};
inline constexpr Parameter LFO_DEPTH = {
    "lfoDepth", "LFO depth", 0.0, 100.0, 0.0, Unit::Percent, "lfoDepth value must be >= 0.0% and <= 100.0%."};

inline constexpr const char* LFO_SHAPES[] = {"sine", "triangle", "square", "rising ramp", "falling ramp", "random"};
inline constexpr Parameter LFO_SHAPE = {"lfoShape", "LFO shape", 0.0, 5.0, 0.0, Unit::None,
                                        "lfoShape value must be either 0, 1, 2, 3, 4, or 5.", ParameterKind::Choice,
                                        tildefx::names_of(LFO_SHAPES)};

// The first head starts 0.75 table steps (of 2^20) into its cycle: the
// angle that puts it there.
inline constexpr Parameter LFO_PHASE = {"lfoPhase", "LFO phase", -180.0, 180.0,
                                        -180.0 + 0.75 * 360.0 / 1048576.0, Unit::Degrees,
                                        "lfoPhase value must be >= -180 deg and <= 180 deg.", ParameterKind::Number,
                                        {}, Route::Message, 0, nullptr, OutOfRange::Refused,
                                        "Moves the first head to this angle of its cycle."};

inline constexpr Parameter FILTER_FREQ = {"filterFreq", "Filter frequency", 20.0, 20000.0, 20000.0, Unit::Hertz,
                                          "filterFreq value must be >= 20 Hz and <= 20000 Hz."};
inline constexpr Parameter RESONANCE = {
    "resonance", "Resonance", 0.0, 100.0, 50.0, Unit::Percent, "resonance value must be >= 0% and <= 100%."};

// 1 adds the delayed signal back; 0 subtracts it.
inline constexpr const char* POLARITIES[] = {"subtract", "add"};
inline constexpr Parameter FEEDBACK_SWITCH = {"feedbackSwitch", "Feedback polarity", 0.0, 1.0, 1.0, Unit::None,
                                              "feedbackSwitch value must be 0 or 1.", ParameterKind::Choice,
                                              tildefx::names_of(POLARITIES)};

inline constexpr Parameter FREEZE = {
    "freeze", "Freeze", 0.0, 1.0, 0.0, Unit::None, "freeze value must be 0 or 1.", ParameterKind::Switch};

// The error line says "head", not "heads".
inline constexpr const char* HEAD_COUNTS[] = {"one head", "two heads"};
inline constexpr Parameter HEADS = {"heads", "Heads", 1.0, 2.0, 1.0, Unit::None, "head value must be 1 or 2.",
                                    ParameterKind::Choice, tildefx::names_of(HEAD_COUNTS)};

inline constexpr Parameter PARAMETERS[] = {TIME,        FEEDBACK,  LFO_FREQ,        LFO_DEPTH, LFO_SHAPE, LFO_PHASE,
                                           FILTER_FREQ, RESONANCE, FEEDBACK_SWITCH, FREEZE,    HEADS};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Modulated delay with a resonant low-pass and saturation in the feedback loop, and a freeze mode.",
    tildefx::Category::Delay, 1, 1, false, PARAMETERS);

}  // namespace echoloom
