// What bitgrind~ is and the parameters of its float inlets: range, unit,
// start and error line of each, in the order hosts list them.
#pragma once

#include "description.h"

namespace bitgrind {

using tildefx::OutOfRange;
using tildefx::Parameter;
using tildefx::ParameterKind;
using tildefx::Route;
using tildefx::Unit;

// The object starts at the full 32-bit word, above the 24 bits the inlet
// accepts.
inline constexpr Parameter DEPTH = {"depth", "Bit depth", 1.0, 24.0, 32.0, Unit::Bits,
                                    "depth value must be >= 1.0 and <= 24.0.", ParameterKind::Number, {},
                                    Route::FloatInlet, 1, "(float) Bit Depth (1-24)", OutOfRange::Refused,
                                    "Fractions crossfade between two depths."};

inline constexpr Parameter FOLDS = {"folds", "Sample folding", 0.0, 8.0, 0.0, Unit::None,
                                    "folds value must be between 0 and 8.", ParameterKind::Number, {},
                                    Route::FloatInlet, 2, "(float) Sample Folding (0-8)", OutOfRange::Refused,
                                    "Groups of 2^folds samples are averaged and held."};

inline constexpr Parameter PARAMETERS[] = {DEPTH, FOLDS};

// The output is the oldest block of a history of max(256, block length)
// samples.
inline constexpr tildefx::Description DESCRIPTION = tildefx::describe(
    "Bit-depth reducer (1 to 24 bits, fractions allowed) and sample folder (averages over 2^folds samples).",
    tildefx::Category::Distortion, 1, 1, false, PARAMETERS, false, 256);

}  // namespace bitgrind
