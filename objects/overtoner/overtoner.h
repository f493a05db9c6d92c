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
};
