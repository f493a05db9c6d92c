// A float's bits and back, for tests that compare results to the bit.
#pragma once

#include <cstdint>
#include <cstring>

inline float float_of_bits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
