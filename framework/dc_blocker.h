// The one-pole DC-blocking high-pass in the loop of a delay.
#pragma once

namespace tildefx {

struct DcBlocker {
  float pole = 0.0f;
  float lastIn = 0.0f;
  float lastOut = 0.0f;

  // A corner near 20 Hz: the pole is 1 - 126 / rate.
  void set_rate(float sampleRate) { pole = static_cast<float>(1.0 - 126.0 / sampleRate); }

  float tick(float x) {
    const float y = static_cast<float>((static_cast<double>(x) - lastIn) +
                                       static_cast<double>(pole) * lastOut);
    lastOut = y;
    lastIn = x;
    return y;
  }
};

}  // namespace tildefx
