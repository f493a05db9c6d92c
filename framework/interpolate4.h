// Four-point cubic interpolation (Hermite spline with central-difference
// slopes). x is the fraction from y0 towards y1; each coefficient is rounded
// to a float before it is used, and those roundings are part of the result.
#pragma once

namespace tildefx {

inline float interpolate4(float x, float yMinus1, float y0, float y1, float y2) {
  const float c1 = static_cast<float>(0.5 * (static_cast<double>(y1) - yMinus1));
  const float d = static_cast<float>(static_cast<double>(yMinus1) - y0);
  const float c3 = static_cast<float>((static_cast<double>(y0) - y1) +
                                      0.5 * ((static_cast<double>(y2) - d) - y1));
  const float c2 = static_cast<float>((static_cast<double>(d) + c1) - c3);
  const double xd = x;
  return static_cast<float>(y0 + xd * (c1 + xd * (c2 + xd * c3)));
}

}  // namespace tildefx
