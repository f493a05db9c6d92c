// overtoner~: a waveshaper that mixes the Chebyshev polynomials T1 to T5 and
// T7 of its input, each at a level set in dB, normalised by the sum of the
// weights so that a full-scale input stays within full scale.
#include <cmath>

#include "host.h"
#include "object.h"
#include "overtoner.h"

namespace {

host::Class* overtonerClass;

const char* const LEVEL_ERROR = "value must be >= -60.0dB and <= 0.0dB.";

void* overtoner_new() {
  auto* x = static_cast<Overtoner*>(host::newobject(overtonerClass));
  host::z_dsp_setup(x, 1);
  host::outlet_new(x, "signal");
  x->level1 = 1.0f;
  x->level2 = 0.0f;
  x->level3 = 0.0f;
  x->level4 = 0.0f;
  x->level5 = 0.0f;
  x->level7 = 0.0f;
  x->normGain = 0.0f;
  return x;
}

void set_level(float& level, double db) {
  if (tildefx::check_range(db, -60.0, 0.0, LEVEL_ERROR)) level = tildefx::db_to_gain(db);
}

void overtoner_p1(Overtoner* x, double db) { set_level(x->level1, db); }
void overtoner_p2(Overtoner* x, double db) { set_level(x->level2, db); }
void overtoner_p3(Overtoner* x, double db) { set_level(x->level3, db); }
void overtoner_p4(Overtoner* x, double db) { set_level(x->level4, db); }
void overtoner_p5(Overtoner* x, double db) { set_level(x->level5, db); }
void overtoner_p7(Overtoner* x, double db) { set_level(x->level7, db); }

// The level is mapped a second time: 1.0 gives weight 1, 0.0 gives 0.001.
float weight_of(float level) {
  return static_cast<float>(std::pow(10.0, 3.0 * level - 3.0));
}

host::Word* overtoner_perform(host::Word* w) {
  auto* x = reinterpret_cast<Overtoner*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int n = static_cast<int>(w[4]);

  const float a1 = weight_of(x->level1);
  const float a2 = weight_of(x->level2);
  const float a3 = weight_of(x->level3);
  const float a4 = weight_of(x->level4);
  const float a5 = weight_of(x->level5);
  const float a7 = weight_of(x->level7);
  const float sum = static_cast<float>(static_cast<long double>(a2) + a1 + a3 + a4 + a5 + a7);
  x->normGain = sum != 0.0f ? static_cast<float>(1.0 / sum) : 0.0f;
  const float normGain = x->normGain;

  for (int i = 0; i < n; i++) {
    const float s = in[i];
    const double xd = s;
    const float m = static_cast<float>(xd * xd);
    const double md = m;
    const float t2 = static_cast<float>(md + md - 1.0);
    const float t3 = static_cast<float>(xd * (4.0 * md - 3.0));
    const float t4 = static_cast<float>(md * (8.0 * md - 8.0) + 1.0);
    const float t5 = static_cast<float>(xd * (md * (16.0 * md - 20.0) + 5.0));
    const float t7 = static_cast<float>(xd * (md * (md * (64.0 * md - 112.0) + 56.0) - 7.0));
    long double acc = static_cast<long double>(a2) * t2 + static_cast<long double>(a1) * s;
    acc += static_cast<long double>(a3) * t3;
    acc += static_cast<long double>(a4) * t4;
    acc += static_cast<long double>(a5) * t5;
    acc += static_cast<long double>(a7) * t7;
    out[i] = static_cast<float>(static_cast<double>(static_cast<float>(acc)) * normGain);
  }
  return w + 5;
}

void overtoner_dsp(Overtoner* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(overtoner_perform, x, signals);
  if (signals[0]->blockSize != x->vectorSize || signals[0]->sampleRate != x->sampleRate) {
    x->vectorSize = static_cast<float>(signals[0]->blockSize);
    x->sampleRate = signals[0]->sampleRate;
  }
}

void overtoner_assist(Overtoner* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text, {"(signal) Input"}, {"(signal) Output"});
}

}  // namespace

int main() {
  host::setup(&overtonerClass, (host::Method)overtoner_new,
              (host::Method)host::z_dsp_free, sizeof(Overtoner), nullptr, 0);
  host::addmess((host::Method)overtoner_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)overtoner_assist, "assist", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)overtoner_p1, "p1", host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p2, "p2", host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p3, "p3", host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p4, "p4", host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p5, "p5", host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p7, "p7", host::ARG_FLOAT, 0);
  host::z_add_signalmethod();
  return 0;
}
