// sidesplit~: converts a stereo pair between left/right and mid/side, with a
// gain for the mid and one for the side component.
#include "host.h"
#include "object.h"
#include "parameters.h"
#include "processor_path.h"
#include "sidesplit.h"

namespace {

host::Class* sidesplitClass;

void* sidesplit_new() {
  auto* x = static_cast<Sidesplit*>(host::newobject(sidesplitClass));
  if (x == nullptr) return nullptr;
  host::floatin(x, 4);
  host::floatin(x, 3);
  host::floatin(x, 2);
  host::z_dsp_setup(x, 2);
  host::outlet_new(x, "signal");
  host::outlet_new(x, "signal");
  x->midGain = 1.0f;
  x->sideGain = 1.0f;
  x->direction = 0;
  return x;
}

void sidesplit_mid_gain(Sidesplit* x, double db) {
  if (tildefx::check_range(db, sidesplit::MID_GAIN)) x->midGain = tildefx::db_to_gain(db);
}

void sidesplit_side_gain(Sidesplit* x, double db) {
  if (tildefx::check_range(db, sidesplit::SIDE_GAIN)) x->sideGain = tildefx::db_to_gain(db);
}

// Any number is a mode: above 1 is 1, below 0 is 0, the rest truncated.
void sidesplit_mode(Sidesplit* x, double value) {
  if (value > sidesplit::MODE.maximum) {
    x->direction = 1;
  } else if (value < sidesplit::MODE.minimum) {
    x->direction = 0;
  } else if (value >= sidesplit::MODE.minimum) {
    x->direction = static_cast<int32_t>(value);
  }
}

host::Word* sidesplit_perform(host::Word* w) {
  auto* x = reinterpret_cast<Sidesplit*>(w[1]);
  const float* inLeft = reinterpret_cast<const float*>(w[2]);
  const float* inRight = reinterpret_cast<const float*>(w[3]);
  float* outLeft = reinterpret_cast<float*>(w[4]);
  float* outRight = reinterpret_cast<float*>(w[5]);
  const int n = static_cast<int>(w[6]);
  const int32_t direction = x->direction;
  // Messages never arrive while a block runs, so the gains read once here
  // are the ones every sample would read; held in locals (the outputs could
  // share memory with the record as far as the compiler knows), the loops
  // vectorise.
  const double midGain = x->midGain;
  const double sideGain = x->sideGain;
  if (direction == 0) {
    for (int i = 0; i < n; i++) {
      const double a = inLeft[i];
      const double b = inRight[i];
      outLeft[i] = static_cast<float>(((a + b) * midGain) * 0.5);
      outRight[i] = static_cast<float>(((a - b) * sideGain) * 0.5);
    }
  } else {
    for (int i = 0; i < n; i++) {
      const double a = inLeft[i];
      const double b = inRight[i];
      outLeft[i] = static_cast<float>(a * midGain + b * sideGain);
      outRight[i] = static_cast<float>(a * midGain - b * sideGain);
    }
  }
  return w + 7;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* sidesplit_perform_avx2(host::Word* w) { return sidesplit_perform(w); }

void sidesplit_dsp(Sidesplit* x, host::Signal** signals, short* /*connections*/) {
  host::dsp_add(tildefx::routine_for_processor(sidesplit_perform, sidesplit_perform_avx2), 6, reinterpret_cast<host::Word>(x),
                reinterpret_cast<host::Word>(signals[0]->vector),
                reinterpret_cast<host::Word>(signals[1]->vector),
                reinterpret_cast<host::Word>(signals[2]->vector),
                reinterpret_cast<host::Word>(signals[3]->vector),
                static_cast<host::Word>(signals[0]->blockSize));
}

void sidesplit_assist(Sidesplit* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text,
                        {"(signal) Left Input", "(signal) Right Input", sidesplit::MID_GAIN.assist,
                         sidesplit::SIDE_GAIN.assist, sidesplit::MODE.assist},
                        {"(signal) Left Output", "(signal) Right Output"});
}

}  // namespace

int main() {
  host::setup(&sidesplitClass, (host::Method)sidesplit_new,
              (host::Method)host::z_dsp_free, sizeof(Sidesplit), nullptr, 0);
  host::addmess((host::Method)sidesplit_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)sidesplit_assist, "assist", host::ARG_PRIVATE, 0);
  host::addftx((host::Method)sidesplit_mid_gain, sidesplit::MID_GAIN.inlet);
  host::addftx((host::Method)sidesplit_side_gain, sidesplit::SIDE_GAIN.inlet);
  host::addftx((host::Method)sidesplit_mode, sidesplit::MODE.inlet);
  host::z_add_signalmethod();
  return 0;
}
