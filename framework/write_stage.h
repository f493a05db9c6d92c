// The stages on the way into a delay line: the input plus the fed-back
// signal times its gain, the resonant low-pass (where the delay has one),
// the DC blocker and the arctangent.
#pragma once

#include <cmath>

#include "dc_blocker.h"
#include "delay_line.h"
#include "resonant_lowpass.h"

namespace tildefx {

// An input sample beyond this in size, infinite or not a number enters the
// loop as silence, so that the filter states stay finite: one bad sample
// cannot ruin the line for good, and finite input gives finite output.
constexpr float LARGEST_INPUT = 1.0e30f;

// A gain threshold that every gain passes: the DC blocker always runs.
constexpr float DC_BLOCK_AT_ANY_GAIN = -INFINITY;

struct WriteStage {
  ResonantLowpass lowpass;
  DcBlocker dcBlocker;
  bool lowpassRuns = false;   // the low-pass follows the signal, heard or not
  bool lowpassHeard = false;  // its output goes on; otherwise it is bypassed
  float dcAboveGain = DC_BLOCK_AT_ANY_GAIN;  // the DC blocker runs for gains above this

  // The sample to store for this input and this fed-back sample.
  float line_sample(float input, float gain, float fedBack) {
    return saturate_for_line(loop_sample(input, gain, fedBack));
  }

  // The same before the arctangent: the stages whose states run on.
  float loop_sample(float input, float gain, float fedBack) {
    const float safeInput = std::fabs(input) <= LARGEST_INPUT ? input : 0.0f;
    const float looped = static_cast<float>(safeInput + static_cast<double>(gain) * fedBack);
    float sample = looped;
    if (lowpassRuns) {
      const float filtered = lowpass.tick(looped);
      if (lowpassHeard) sample = filtered;
    }
    if (gain > dcAboveGain) sample = dcBlocker.tick(sample);
    return sample;
  }
};

}  // namespace tildefx
