// The tonewarp~ instance record.
#pragma once

#include <cstdint>

#include "host.h"
#include "glide.h"
#include "write_stage.h"

constexpr int TONEWARP_INTERVALS = 35;

struct Tonewarp {
  host::ObjectHeader header;
  float sampleRate;
  float vectorSize;
  float* ringBuffer;   // the delay line, 2^20 samples
  tildefx::Glide time;  // seconds, gliding by a per-sample step
  float intervalTable[TONEWARP_INTERVALS];  // pitch ratios from unison to the octave
  int32_t pitchIndex;
  tildefx::BlockRamp feedback;  // percent / 200: the loop gain is twice this
  float octave;
  tildefx::CountedGlide depth;  // half-width of the sweep window as a fraction of the delay
  float phase1;  // sweep phase of tap 1 in samples, within (-L, L]
  float phase2;  // phase1 + L, wrapped the same way
  float windowIndex1;
  float windowIndex2;
  float shiftRate;  // pitch ratio - 1
  float shiftOctave;       // the octave and interval shiftRate was computed
  int32_t shiftPitchIndex; // for: it is computed again only when one changes
  int32_t windowTableLength;  // steps of the crossfade window: -1 up to +1 and back
  int32_t readIndex1;
  int32_t readIndex2;
  int32_t writeIndex;
  int32_t indexMask;
  tildefx::WriteStage writeStage;  // the DC blocker of the loop
};
