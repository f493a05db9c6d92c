// The grainfall~ instance record and its grain voices.
#pragma once

#include <cstdint>

#include "host.h"

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
  float targetTime;  // delay time in seconds
  float currentTime;
  float timeStep;  // change of currentTime per sample while it glides
  float targetTimeVariation;
  float currentTimeVariation;
  float targetFeedback;  // percent / 200
  float currentFeedback;
  float targetFilterFreq;  // Hz
  float currentFilterFreq;
  float targetResonance;
  float currentResonance;
  float targetDensity;  // percent / 200
  float currentDensity;
  float grainInterval;  // samples between grain starts
  float targetGrainSize;  // percent / 50
  float currentGrainSize;
  float targetGrainStartVariation;
  float currentGrainStartVariation;
  float targetGrainReversal;  // probability of a reversed grain
  float currentGrainReversal;
  float octave;
  float targetOctaveVariation;
  float currentOctaveVariation;
  int32_t intonation;  // 1: just intonation, 0: equal temperament
  int32_t heldCount;
  int32_t heldList[PITCH_CLASSES];  // held pitch classes in the order pressed
  float heldFlags[PITCH_CLASSES];   // 1.0 where a pitch class is held
  float ratioTable[2][PITCH_CLASSES + 1];  // [intonation][pitch class]
  float filterIn1;
  float filterIn2;
  float filterOut1;
  float filterOut2;
  float dcLastOut;
  float dcLastIn;
};
