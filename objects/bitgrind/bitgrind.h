// The bitgrind~ instance record.
#pragma once

#include <cstdint>

#include "host.h"

struct Bitgrind {
  host::ObjectHeader header;
  int32_t historyLength;  // samples in history and in output: 256, or the block size above that
  float* history;         // the latest historyLength input samples, oldest first
  float* output;          // the block being built by the perform routine
  int32_t depthMask;      // the top floor(depth) bits set
  int32_t depthMaskNext;  // the top floor(depth) + 1 bits set
  float depthFraction;    // depth - floor(depth): the crossfade between the two masks
  float foldGain;         // 1 / foldSize
  float foldSize;         // 2^folds, the samples averaged per group
};
