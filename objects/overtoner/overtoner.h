// The overtoner~ instance record.
#pragma once

#include <cstdint>

#include "host.h"

struct Overtoner {
  host::ObjectHeader header;
  float sampleRate;
  float level1;
  float level2;
  float level3;
  float level4;
  float level5;
  float level7;
  float normGain;
  // The weights the perform routine derived from the levels, and the levels
  // they are for (in the order 1, 2, 3, 4, 5, 7; NaN before the first
  // block): they are recomputed only when a level has changed.
  float weightedLevels[6];
  float weights[6];
  float weightSum;
  float silentOutput;  // the output for a sample of 0 at these weights
};
