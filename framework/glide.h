// Parameter glides that the perform routines move per sample or per block.
#pragma once

namespace tildefx {

// One sample of a linear glide: current moves by step, and stops exactly on
// target (clearing step) once it reaches or passes it. A step too small to
// move the float would never arrive, so the glide lands at once instead.
inline void glide_step(float& current, float target, float& step) {
  const float next = static_cast<float>(static_cast<double>(current) + step);
  if ((static_cast<double>(current) - target) * (static_cast<double>(next) - target) <= 0.0 ||
      next == current) {
    current = target;
    step = 0.0f;
  } else {
    current = next;
  }
}

// End of a block of a glide that runs a counted number of blocks: when the
// count is used up, current lands on target and the step stops.
inline void glide_count_block(int& blocksLeft, float& current, float target, float& step) {
  if (blocksLeft == 0) {
    current = target;
    step = 0.0f;
  } else {
    blocksLeft -= 1;
  }
}

}  // namespace tildefx
