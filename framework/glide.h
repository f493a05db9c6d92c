// Parameters that a message sets as a target and that the perform routine
// carries there from the value in use, in one of three ways:
// - a glide moves by a per-sample step and lands exactly on the target;
// - a counted glide moves by a per-sample step for a count of blocks, then
//   takes the target;
// - a block ramp moves by a step fixed at a block's start and ends the block
//   on the target.
#pragma once

#include <cmath>
#include <cstdint>

namespace tildefx {

// ---- Glide ------------------------------------------------------------------

struct Glide {
  float target;
  float current;
  float step;  // per sample while it glides; 0 once it has landed
};

// A new target, and the step that covers the distance from the value in use
// in `samples` samples.
inline void glide_to(Glide& glide, float target, double samples) {
  glide.target = target;
  glide.step = static_cast<float>((static_cast<double>(target) - glide.current) / samples);
}

// One sample: the value moves by the step, and stops exactly on the target
// (clearing the step) once it reaches or passes it. A step too small to move
// the float would never arrive, so the glide lands at once instead.
inline void glide_step(Glide& glide) {
  const float next = static_cast<float>(static_cast<double>(glide.current) + glide.step);
  if ((static_cast<double>(glide.current) - glide.target) * (static_cast<double>(next) - glide.target) <= 0.0 ||
      next == glide.current) {
    glide.current = glide.target;
    glide.step = 0.0f;
  } else {
    glide.current = next;
  }
}

// ---- Counted glide -----------------------------------------------------------

struct CountedGlide {
  float target;
  float current;
  float step;          // per sample
  int32_t blocksLeft;  // blocks to run before the value takes the target
};

// Whole blocks in one second at a rate and block length: how long a counted
// glide runs (one block more). Without a block length there are none, and
// the glide lands at the end of the next block.
inline int32_t blocks_in_one_second(float sampleRate, float blockSize) {
  if (!(blockSize >= 1.0f)) return 0;
  const double blocks = std::trunc(std::trunc(static_cast<double>(sampleRate)) / blockSize);
  return blocks < 2147483647.0 ? static_cast<int32_t>(blocks) : 2147483647;
}

// A new target, reached over about one second: the step covers the
// distance in one second's samples, and the count is one second's blocks.
inline void glide_in_one_second(CountedGlide& glide, float target, float sampleRate, float blockSize) {
  glide.target = target;
  glide.step = static_cast<float>((static_cast<double>(target) - glide.current) / sampleRate);
  glide.blocksLeft = blocks_in_one_second(sampleRate, blockSize);
}

inline void counted_glide_step(CountedGlide& glide) {
  glide.current = static_cast<float>(static_cast<double>(glide.current) + glide.step);
}

// End of a block: when the count is used up, the value lands on the target
// and the step stops; otherwise one block less is left.
inline void count_block(CountedGlide& glide) {
  if (glide.blocksLeft == 0) {
    glide.current = glide.target;
    glide.step = 0.0f;
  } else {
    glide.blocksLeft -= 1;
  }
}

// The count of a running glide for a new block length, so that the glide
// still lasts the same number of samples instead of carrying its step far
// past the target (or stopping short).
inline void keep_glide_length(CountedGlide& glide, float oldBlockSize, float newBlockSize) {
  if (glide.blocksLeft <= 0) return;
  if (!(oldBlockSize >= 1.0f && newBlockSize >= 1.0f)) {
    glide.blocksLeft = 0;
    return;
  }
  const double blocks = glide.blocksLeft * static_cast<double>(oldBlockSize) / newBlockSize;
  glide.blocksLeft = blocks < 2147483647.0 ? static_cast<int32_t>(blocks) : 2147483647;
}

// ---- Block ramp ---------------------------------------------------------------

struct BlockRamp {
  float target = 0.0f;
  float current = 0.0f;

  void set(float value) { target = current = value; }

  // The step that covers the distance in 1 / factor samples.
  float step(float factor) const {
    return static_cast<float>((static_cast<double>(target) - current) * factor);
  }

  void end_block() { current = target; }
};

}  // namespace tildefx
