// A delay line: a power-of-two ring of floats whose every index is masked,
// read between samples with the four-point cubic; where a read position
// falls between its slots; the arctangent that bounds what it stores.
#pragma once

#include <cstdint>

#include "fast_math.h"
#include "interpolate4.h"

namespace tildefx {

// Where a read falls: the slot at `index` (masked) and the fraction of the
// way from it towards the next slot.
struct ReadPlace {
  int32_t index;
  float fraction;
};

// A read `position` samples behind writeIndex: the slot trunc(position)
// behind it, and the fraction from that slot towards the newer one after it.
inline ReadPlace place_behind(int32_t writeIndex, float position, int32_t mask) {
  const int32_t whole = static_cast<int32_t>(position);
  const float behind = static_cast<float>(static_cast<double>(position) - whole);
  return {(writeIndex - whole) & mask, static_cast<float>(1.0 - behind)};
}

// A read at a position counted from the line's start. The position may lie
// before the start, or (a far read point) well outside the 32-bit range: the
// mask brings every index into the line.
inline ReadPlace place_at(float position, int32_t mask) {
  const int64_t whole = static_cast<int64_t>(position);
  return {static_cast<int32_t>(whole & mask), static_cast<float>(position - static_cast<double>(whole))};
}

// A view of an object's ring buffer: its samples and its length - 1.
struct DelayLine {
  float* samples;
  int32_t mask;

  // The cubic through the slots index - 1 to index + 2 (each masked), at
  // `fraction` from the slot at index towards the next.
  float read(int32_t index, float fraction) const {
    return interpolate4(fraction, samples[(index - 1) & mask], samples[index & mask],
                        samples[(index + 1) & mask], samples[(index + 2) & mask]);
  }

  float read(ReadPlace place) const { return read(place.index, place.fraction); }

  void write(int32_t index, float value) const { samples[index & mask] = value; }
};

// The sample stored in a delay line: the arctangent keeps it within pi/2,
// and the small offset keeps silence from becoming denormal. The value is
// exactly static_cast<float>(std::atan(double(x)) + double(1.0e-6f)), found
// without the library call for all but a few inputs (fast_math.h).
inline float saturate_for_line(float x) {
  return atan_plus_to_float(static_cast<double>(x), static_cast<double>(1.0e-6f));
}

// saturate_for_line for n samples at once (the same values).
inline void saturate_for_line(const float* x, float* result, int n) {
  atan_plus_to_floats(x, result, n, static_cast<double>(1.0e-6f));
}

}  // namespace tildefx
