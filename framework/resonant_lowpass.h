// The resonant two-pole low-pass in the loop of a delay: coefficients set
// once per block, four states that move on every sample.
#pragma once

#include <cmath>

namespace tildefx {

// pi as 4 * atan(1), with atan(1) rounded to a float first.
constexpr float PI_FLOAT = 3.14159274f;

// The low-pass 1 / (s^2 + r s + 1), bilinear with a prewarped cutoff; both
// zeros sit at the Nyquist frequency (numerator a0 (1 + 2/z + 1/z^2)).
struct ResonantLowpass {
  float a0 = 0.0f;
  float a1 = 0.0f;
  float b1 = 0.0f;
  float b2 = 0.0f;
  float in1 = 0.0f;  // the input one and two samples back
  float in2 = 0.0f;
  float out1 = 0.0f;  // the output one and two samples back
  float out2 = 0.0f;
  // The settings the coefficients were computed for: set() computes them
  // again (a tangent and four divisions) only when one of them changes.
  float cutoffSet = NAN;
  float resonanceSet = NAN;
  float rateSet = NAN;

  // resonance runs 0..1: damping sqrt(2) at 0, 0.1 at 1. A cutoff above half
  // the sample rate is lowered to it.
  void set(float cutoff, float resonance, float sampleRate) {
    if (cutoff == cutoffSet && resonance == resonanceSet && sampleRate == rateSet) return;
    cutoffSet = cutoff;
    resonanceSet = resonance;
    rateSet = sampleRate;
    const float damping = static_cast<float>((1.0 - resonance) * (std::sqrt(2.0) - 0.1) + 0.1);
    const float nyquist = static_cast<float>(0.5 * sampleRate);
    const float limited = cutoff > 0.5 * sampleRate ? nyquist : cutoff;
    const float m = static_cast<float>(static_cast<double>(limited) / sampleRate);
    // cot(pi m); below 0.1 its small-angle form.
    const float k = m < 0.1 ? static_cast<float>(1.0 / (static_cast<double>(m) * PI_FLOAT))
                            : static_cast<float>(std::tan((0.5 - m) * PI_FLOAT));
    const double kk = static_cast<double>(k) * k;
    a0 = static_cast<float>(1.0 / ((static_cast<double>(damping) * k + 1.0) + kk));
    a1 = static_cast<float>(2.0 * a0);
    b1 = static_cast<float>(2.0 * (1.0 - kk) * a0);
    b2 = static_cast<float>(a0 * ((1.0 - static_cast<double>(damping) * k) + kk));
  }

  // One sample: the products are exact in double, added in this order and
  // rounded once.
  float tick(float x) {
    const float y = static_cast<float>(
        static_cast<double>(a0) * x + static_cast<double>(a1) * in1 + static_cast<double>(a0) * in2 -
        static_cast<double>(b1) * out1 - static_cast<double>(b2) * out2);
    in2 = in1;
    in1 = x;
    out2 = out1;
    out1 = y;
    return y;
  }
};

}  // namespace tildefx
