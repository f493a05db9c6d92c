// What levelsway~ is and the parameters of its float inlets and messages:
// range, unit, start and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace levelsway {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;
using tildefx::Unit;

// The slope of the gain curve. A ratio out of range takes the nearer bound
// after its error line. The start is 13/14, held as a float. Ratio,
// threshold and knee each rebuild the 8192-entry gain table.
inline constexpr Parameter RATIO = {
    "ratio", "Ratio", 0.01, 10.0, 13.0 / 14.0, Unit::Factor, "ratio value must be >= 0.01 and <= 10.0",
    ParameterKind::Number, {}, Route::FloatInlet, 1, "(float) Ratio (0.01 - 10.0)", OutOfRange::Clamped,
    "Below 1 compresses above the threshold (0.25 is 4:1), above 1 expands below it.", true};

inline constexpr Parameter THRESHOLD = {"threshold", "Threshold", -96.0, 0.0, -40.0, Unit::Decibels,
                                        "threshold value must be >= -96.0dB and <= 0.0dB.", ParameterKind::Number,
                                        {}, Route::FloatInlet, 2, "(float) Threshold (-96 - 0)",
                                        OutOfRange::Refused, nullptr, true};

inline constexpr Parameter ATTACK = {
    "attack", "Attack", 1.0, 100.0, 20.0, Unit::Milliseconds, "attack value must be >= 1.0ms and <= 100.0ms."};
inline constexpr Parameter RELEASE = {"release", "Release", 100.0, 2000.0, 500.0, Unit::Milliseconds,
                                      "release value must be >= 100ms and <= 2000.0ms."};

inline constexpr Parameter SOFT_KNEE = {"softKnee", "Soft knee", 0.0, 1.0, 0.0, Unit::Factor,
                                        "softKnee value must be >= 0.0 and <= 1.0.", ParameterKind::Number, {},
                                        Route::Message, 0, nullptr, OutOfRange::Refused,
                                        "The knee spans 12 dB times this width.", true};

inline constexpr Parameter MAKEUP_GAIN = {"makeupGain", "Make-up gain", 0.0, 60.0, 0.0, Unit::Decibels,
                                          "makeupGain value must be >= 0.0dB and <= 60.0dB."};

// Only exactly 1 selects RMS; a value out of range is ignored without an
// error line (the mode in force is still posted).
inline constexpr const char* DETECTIONS[] = {"peak", "RMS"};
inline constexpr Parameter RMS_DETECT = {"rmsDetect", "Detection", 0.0, 1.0, 0.0, Unit::None, nullptr,
                                         ParameterKind::Choice, tildefx::names_of(DETECTIONS), Route::Message, 0,
                                         nullptr, OutOfRange::IgnoredSilently};

inline constexpr Parameter PARAMETERS[] = {RATIO, THRESHOLD, ATTACK, RELEASE, SOFT_KNEE, MAKEUP_GAIN, RMS_DETECT};

inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Compressor/expander with peak or RMS detection, soft knee and make-up gain.", tildefx::Category::Dynamics, 1,
    1, false, PARAMETERS, true);

}  // namespace levelsway
