// The levelsway~ instance record.
#pragma once

#include <cstdint>

#include "host.h"

struct Levelsway {
  host::ObjectHeader header;
  float sampleRate;
  float* gainTable;         // 8192 gains, entry i for the level (i + 1) / 8192
  float* rmsWindow;         // the last rmsWindowLength squared input samples
  float* sqrtTable;         // 65536 entries, sqrt(i) / 256
  int32_t rmsWindowLength;
  float rmsScale;           // running sum of squares to a sqrtTable index
  float rmsSum;
  int32_t rmsIndex;         // next rmsWindow entry to replace
  float kneeLow;            // knee edges, linear amplitude
  float kneeHigh;
  float kneeLowDb;
  float releaseBound;       // the envelope may fall no lower than this
  float attackBound;        // and rise no higher than this
  float attackCoef;         // per-sample growth of attackBound
  float releaseCoef;        // per-sample decay of releaseBound
  float smoothedGain;
  float ratio;              // below 1 compresses above the threshold, above 1 expands below it
  int32_t detectMode;       // 1: RMS, 0: peak
  float thresholdDb;
  float attackTime;         // seconds
  float releaseTime;        // seconds
  float kneeWidth;          // 0 to 1; the knee spans 12 * kneeWidth dB
  float makeup;             // linear make-up gain
};
