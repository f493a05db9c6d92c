// The grainfall~ instance record and its grain voices.
#pragma once

#include <cstdint>

#include "host.h"
#include "glide.h"
#include "write_stage.h"

constexpr int GRAIN_VOICES = 8;
constexpr int PITCH_CLASSES = 12;

// One grain voice. Every time is a count of samples on the sampleCount clock.
struct GrainVoice {
  float start;         // count from which the grain sounds
  float length;        // in samples
  float end;           // start + length
  float fadeInEnd;     // end of a long grain's rising half-window; 0 for a short grain
  float fadeOutStart;  // start of a long grain's falling half-window; 0 for a short grain
  float phaseStep;     // window phase advance per sample, in cycles
  float offset;        // how far behind writeIndex the grain began to read
  float position;      // read position in ringBuffer, fractional
  float rate;          // read advance per sample; negative for a reversed grain
  int32_t active;      // 1 while the voice holds a grain, 0 when it is free
};

struct Grainfall {
  host::ObjectHeader header;
  uint32_t randomState;
  float sampleRate;
  float vectorSize;
  GrainVoice voices[GRAIN_VOICES];
  float* ringBuffer;  // the delay line, 2^21 samples
  int32_t indexMask;
  int32_t bufferLength;
  int32_t writeIndex;
  int32_t sampleCount;  // samples processed: the clock of every grain time
  int32_t lastGrainStart;
  tildefx::Glide time;  // delay time in seconds, gliding by a per-sample step
  // The parameters that move to their targets over one block.
  tildefx::BlockRamp timeVariation;  // percent / 100
  tildefx::BlockRamp feedback;       // percent / 200
  float targetFilterFreq;  // Hz
  float currentFilterFreq;
  float targetResonance;
  float currentResonance;
  tildefx::BlockRamp density;  // percent / 200
  float grainInterval;         // samples between grain starts
  tildefx::BlockRamp grainSize;            // percent / 50
  tildefx::BlockRamp grainStartVariation;  // percent / 100
  tildefx::BlockRamp grainReversal;        // probability of a reversed grain
  float octave;
  tildefx::BlockRamp octaveVariation;  // octaves
  int32_t intonation;  // 1: just intonation, 0: equal temperament
  int32_t heldCount;
  int32_t heldList[PITCH_CLASSES];  // held pitch classes in the order pressed
  float heldFlags[PITCH_CLASSES];   // 1.0 where a pitch class is held
  float ratioTable[2][PITCH_CLASSES + 1];  // [intonation][pitch class]
  tildefx::WriteStage writeStage;  // low-pass and DC blocker of the loop
};
