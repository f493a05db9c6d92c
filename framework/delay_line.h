// The stages on the way into a delay line: a resonant two-pole low-pass, a
// one-pole DC blocker and the arctangent that bounds every stored sample.
#pragma once

#include <cmath>
#include <cstdint>

#include "fast_math.h"

namespace tildefx {

// pi as 4 * atan(1), with atan(1) rounded to a float first.
constexpr float PI_FLOAT = 3.14159274f;

// Coefficients of the low-pass 1 / (s^2 + r s + 1), bilinear with a
// prewarped cutoff; both zeros sit at the Nyquist frequency.
struct LowpassCoefficients {
  float a0;
  float a1;
  float b1;
  float b2;
};

// resonance runs 0..1: damping sqrt(2) at 0, 0.1 at 1. A cutoff above half
// the sample rate is lowered to it.
inline LowpassCoefficients lowpass_coefficients(float cutoff, float resonance, float sampleRate) {
  const float damping =
      static_cast<float>((1.0 - resonance) * (std::sqrt(2.0) - 0.1) + 0.1);
  const float nyquist = static_cast<float>(0.5 * sampleRate);
  const float limited = cutoff > 0.5 * sampleRate ? nyquist : cutoff;
  const float m = static_cast<float>(static_cast<double>(limited) / sampleRate);
  // cot(pi m); below 0.1 its small-angle form.
  const float k = m < 0.1 ? static_cast<float>(1.0 / (static_cast<double>(m) * PI_FLOAT))
                          : static_cast<float>(std::tan((0.5 - m) * PI_FLOAT));
  const double kk = static_cast<double>(k) * k;
  LowpassCoefficients c;
  c.a0 = static_cast<float>(1.0 / ((static_cast<double>(damping) * k + 1.0) + kk));
  c.a1 = static_cast<float>(2.0 * c.a0);
  c.b1 = static_cast<float>(2.0 * (1.0 - kk) * c.a0);
  c.b2 = static_cast<float>(c.a0 * ((1.0 - static_cast<double>(damping) * k) + kk));
  return c;
}

// One sample of the low-pass; the four states move on by one sample.
inline float lowpass_tick(const LowpassCoefficients& c, float x, float& in1, float& in2,
                          float& out1, float& out2) {
  const float y = static_cast<float>(static_cast<double>(c.a0) * x + static_cast<double>(c.a1) * in1 +
                                     static_cast<double>(c.a0) * in2 -
                                     static_cast<double>(c.b1) * out1 -
                                     static_cast<double>(c.b2) * out2);
  in2 = in1;
  in1 = x;
  out2 = out1;
  out1 = y;
  return y;
}

// Pole of the DC blocker: a corner near 20 Hz.
inline float dc_blocker_pole(float sampleRate) {
  return static_cast<float>(1.0 - 126.0 / sampleRate);
}

// One sample of the DC blocker.
inline float dc_block(float x, float pole, float& lastIn, float& lastOut) {
  const float y = static_cast<float>((static_cast<double>(x) - lastIn) +
                                     static_cast<double>(pole) * lastOut);
  lastOut = y;
  lastIn = x;
  return y;
}

// The sample stored in a delay line: the arctangent keeps it within pi/2,
// and the small offset keeps silence from becoming denormal. The value is
// exactly static_cast<float>(std::atan(double(x)) + double(1.0e-6f)), found
// without the library call for all but a few inputs (fast_math.h).
inline float saturate_for_line(float x) {
  return atan_plus_to_float(static_cast<double>(x), static_cast<double>(1.0e-6f));
}

// Whether a four-point read around readIndex (slots readIndex - 1 to
// readIndex + 2) would take a slot whose write is still held back: one of the
// `pending` slots just behind writeIndex (the current sample's own slot,
// writeIndex itself, is not written yet in any case). A delay that holds its
// writes back over a chunk of samples, so that every read of the chunk runs
// before the writes, lets the writes catch up first when this is true.
inline bool reads_pending_write(int32_t writeIndex, int32_t readIndex, int32_t mask, int pending) {
  if (pending <= 0) return false;
  // The four slots lie first, first + 1, ..., first + 3 samples behind the
  // slot just behind writeIndex (modulo the line length).
  const int32_t first = (writeIndex - 1 - (readIndex + 2)) & mask;
  return first < pending || first > mask - 3;
}

}  // namespace tildefx
