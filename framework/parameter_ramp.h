// A parameter that a message sets as a target and that the perform routine
// carries there over one block: a per-sample step fixed at the block start,
// and the target exactly at the block end.
#pragma once

namespace tildefx {

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
