// The echoloom~ instance record.
#pragma once

#include <cstdint>

#include "host.h"
#include "glide.h"
#include "write_stage.h"

struct Echoloom {
  host::ObjectHeader header;
  float sampleRate;
  float vectorSize;
  float rampFactor;       // turns target - current into a per-sample step
  int32_t readIndex1;     // the first head's base sample in ringBuffer
  int32_t readIndex2;     // the same for the second head
  int32_t writeIndex;
  int32_t bufferLength;
  int32_t indexMask;      // bufferLength - 1
  tildefx::Glide time;    // seconds, gliding by a per-sample step
  tildefx::BlockRamp feedback;  // percent / 200: the loop gain is twice this
  float lfoValue1;        // modulation of the first head, -depth..+depth
  float lfoValue2;
  float randomSlope;      // per-sample change of lfoValue1 under the random shape
  float phase1;           // cycle position in table steps, 0 up to tableLength
  float phase2;
  float tableLength;
  tildefx::BlockRamp lfoFreq;  // Hz
  tildefx::CountedGlide depth;  // percent / 100
  float shapeValue;       // shape number / 5
  float latchedShapeValue;
  float* ringBuffer;
  float* lfoTable;        // one of the five tables below
  float* sineTable;
  float* squareTable;
  float* triangleTable;   // its values also weight the two heads' crossfade
  float* rampUpTable;
  float* rampDownTable;
  float targetFilterFreq;  // Hz
  float currentFilterFreq;
  float targetResonance;   // percent / 100
  float currentResonance;
  int32_t feedbackSwitch;  // 1: the repeats are added, otherwise subtracted
  int32_t freeze;
  int32_t secondHead;      // heads - 1
  tildefx::WriteStage writeStage;  // low-pass and DC blocker of the loop
};
