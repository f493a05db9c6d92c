// overtoner~: a waveshaper that mixes the Chebyshev polynomials T1 to T5 and
// T7 of its input, each at a level set in dB, normalised by the sum of the
// weights so that a full-scale input stays within full scale.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fast_math.h"
#include "host.h"
#include "object.h"
#include "processor_path.h"
#include "overtoner.h"
#include "parameters.h"
#include "silence.h"

namespace {

host::Class* overtonerClass;

void* overtoner_new() {
  auto* x = static_cast<Overtoner*>(host::newobject(overtonerClass));
  if (x == nullptr) return nullptr;
  host::z_dsp_setup(x, 1);
  host::outlet_new(x, "signal");
  x->level1 = 1.0f;
  x->level2 = 0.0f;
  x->level3 = 0.0f;
  x->level4 = 0.0f;
  x->level5 = 0.0f;
  x->level7 = 0.0f;
  x->normGain = 0.0f;
  std::fill(x->weightedLevels, x->weightedLevels + 6, NAN);  // no weights computed yet
  return x;
}

void set_level(float& level, double db, const tildefx::Parameter& parameter) {
  if (tildefx::check_range(db, parameter)) level = tildefx::db_to_gain(db);
}

void overtoner_p1(Overtoner* x, double db) { set_level(x->level1, db, overtoner::P1); }
void overtoner_p2(Overtoner* x, double db) { set_level(x->level2, db, overtoner::P2); }
void overtoner_p3(Overtoner* x, double db) { set_level(x->level3, db, overtoner::P3); }
void overtoner_p4(Overtoner* x, double db) { set_level(x->level4, db, overtoner::P4); }
void overtoner_p5(Overtoner* x, double db) { set_level(x->level5, db, overtoner::P5); }
void overtoner_p7(Overtoner* x, double db) { set_level(x->level7, db, overtoner::P7); }

// The level is mapped a second time: 1.0 gives weight 1, 0.0 gives 0.001.
// The power of ten is the library's, found without its call for nearly
// every level (fast_math.h).
float weight_of(float level) {
  return tildefx::exp10_to_float(3.0 * level - 3.0);
}

// T2 to T7 of one sample, from its one shared square, each rounded to a float.
struct Partials {
  float t2, t3, t4, t5, t7;
};

Partials chebyshev(float s) {
  const double xd = s;
  const float m = static_cast<float>(xd * xd);
  const double md = m;
  Partials t;
  t.t2 = static_cast<float>(md + md - 1.0);
  t.t3 = static_cast<float>(xd * (4.0 * md - 3.0));
  t.t4 = static_cast<float>(md * (8.0 * md - 8.0) + 1.0);
  t.t5 = static_cast<float>(xd * (md * (16.0 * md - 20.0) + 5.0));
  t.t7 = static_cast<float>(xd * (md * (md * (64.0 * md - 112.0) + 56.0) - 7.0));
  return t;
}

struct Weights {
  float a1, a2, a3, a4, a5, a7;
};

// The weighted sum as defined: accumulated in extended precision, in this
// order, and rounded to a float.
float weighted_sum(const Weights& a, float s) {
  const Partials t = chebyshev(s);
  long double acc = static_cast<long double>(a.a2) * t.t2 + static_cast<long double>(a.a1) * s;
  acc += static_cast<long double>(a.a3) * t.t3;
  acc += static_cast<long double>(a.a4) * t.t4;
  acc += static_cast<long double>(a.a5) * t.t5;
  acc += static_cast<long double>(a.a7) * t.t7;
  return static_cast<float>(acc);
}

// Each product of two floats is exact in double, so the double sum and the
// extended one differ only by their five roundings each: at most
// 5 (2^-53 + 2^-64) times the sum of the terms' magnitudes. For |s| <= 1
// every polynomial lies within [-1, 1], so that sum is at most the sum of the
// weights. The margin, 2^-49 times the weights' sum, covers both with room
// for the roundings of the margin's own sums: every value between the
// estimate minus and plus the margin rounds to the float the extended sum
// rounds to whenever the two ends round alike.
constexpr double SUM_MARGIN = 0x1p-49;

// Samples go through in chunks: a loop without branches (which the compiler
// vectorises) finds each sample's float from the double sum and marks it
// clear when both ends of the margin round alike and |s| <= 1; the few
// others are then summed in extended precision. The chunk's input is copied
// first (held within the limit), since the output may be the input's memory.
//
// Silence would be one of them: at a sample of 0 the partials are -1, 0, 1,
// 0, 0 and the sum is a4 - a2, which lies within the margin of a rounding
// boundary (it is 0 when both weights are equal, as at the defaults). Its
// output is the same for every zero, so it is found with the weights, and a
// chunk of zeros is filled with it.
constexpr int CHUNK = 64;

// Input beyond ±2^17 is held there: T7 of a larger sample, up to six times,
// passes the largest float, and finite input must give finite output. No
// audio comes near it; a NaN passes unchanged.
constexpr float INPUT_LIMIT = 131072.0f;

float held_within_limit(float s) { return s > INPUT_LIMIT ? INPUT_LIMIT : s < -INPUT_LIMIT ? -INPUT_LIMIT : s; }

void process_chunk(const Weights& a, double margin, float normGain, float silentOutput, const float* in,
                   float* out, int n) {
  float input[CHUNK];
  int32_t clear[CHUNK];
  uint32_t magnitudes = 0;  // a chunk of silence leaves them 0
  for (int i = 0; i < n; i++) {
    input[i] = held_within_limit(in[i]);
    magnitudes |= tildefx::magnitude_bits(input[i]);
  }
  if (magnitudes == 0) {
    std::fill(out, out + n, silentOutput);
    return;
  }
  for (int i = 0; i < n; i++) {
    const float s = input[i];
    const Partials t = chebyshev(s);
    const double estimate = ((((static_cast<double>(a.a2) * t.t2 + static_cast<double>(a.a1) * s) +
                               static_cast<double>(a.a3) * t.t3) +
                              static_cast<double>(a.a4) * t.t4) +
                             static_cast<double>(a.a5) * t.t5) +
                            static_cast<double>(a.a7) * t.t7;
    const float low = static_cast<float>(estimate - margin);
    const float high = static_cast<float>(estimate + margin);
    clear[i] = (low == high) & (std::fabs(s) <= 1.0f);
    out[i] = static_cast<float>(static_cast<double>(low) * normGain);
  }
  for (int i = 0; i < n; i++)
    if (!clear[i])
      out[i] = input[i] == 0.0f ? silentOutput
                                : static_cast<float>(static_cast<double>(weighted_sum(a, input[i])) * normGain);
}

Weights weights_of(const Overtoner* x) {
  return {x->weights[0], x->weights[1], x->weights[2], x->weights[3], x->weights[4], x->weights[5]};
}

// 1 / S for the sum of the weights S, or 0 where S is 0.
float norm_gain_for(float weightSum) { return weightSum != 0.0f ? static_cast<float>(1.0 / weightSum) : 0.0f; }

// The weights of the six levels, their sum and the output for silence,
// computed again only when a level differs from the one they were computed
// for.
void update_weights(Overtoner* x) {
  const float levels[6] = {x->level1, x->level2, x->level3, x->level4, x->level5, x->level7};
  bool same = true;
  for (int k = 0; k < 6; k++) same = same && levels[k] == x->weightedLevels[k];
  if (same) return;
  for (int k = 0; k < 6; k++) {
    x->weightedLevels[k] = levels[k];
    x->weights[k] = weight_of(levels[k]);
  }
  const float* a = x->weights;
  x->weightSum = static_cast<float>(static_cast<long double>(a[1]) + a[0] + a[2] + a[3] + a[4] + a[5]);
  x->silentOutput =
      static_cast<float>(static_cast<double>(weighted_sum(weights_of(x), 0.0f)) * norm_gain_for(x->weightSum));
}

host::Word* overtoner_perform(host::Word* w) {
  auto* x = reinterpret_cast<Overtoner*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int n = static_cast<int>(w[4]);

  update_weights(x);
  const Weights a = weights_of(x);
  const float sum = x->weightSum;
  x->normGain = norm_gain_for(sum);
  const float normGain = x->normGain;

  const double margin = SUM_MARGIN * sum;
  for (int start = 0; start < n; start += CHUNK)
    process_chunk(a, margin, normGain, x->silentOutput, in + start, out + start, std::min(CHUNK, n - start));
  return w + 5;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* overtoner_perform_avx2(host::Word* w) { return overtoner_perform(w); }

void overtoner_dsp(Overtoner* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(
      tildefx::routine_for_processor(overtoner_perform, overtoner_perform_avx2), x, signals);
  x->sampleRate = signals[0]->sampleRate;
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
  host::addmess((host::Method)overtoner_p1, overtoner::P1.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p2, overtoner::P2.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p3, overtoner::P3.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p4, overtoner::P4.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p5, overtoner::P5.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)overtoner_p7, overtoner::P7.name, host::ARG_FLOAT, 0);
  host::z_add_signalmethod();
  return 0;
}
