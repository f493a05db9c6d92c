// bitgrind~: lowers the resolution of its input in two ways. It quantises
// every sample to a fractional number of bits (1 to 24), and it replaces each
// group of 2^folds samples by their average, held over the group (0 to 8
// folds). Both work on a history of the latest samples, at least 256 long, so
// blocks shorter than 256 come out 256 - n samples late.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "bitgrind.h"
#include "host.h"
#include "object.h"
#include "parameters.h"
#include "processor_path.h"

namespace {

host::Class* bitgrindClass;

const char* const RESIZE_ERROR = "no memory for buffers of this block size; the output is silent.";

const int32_t SHORTEST_HISTORY = 256;
const int32_t ALL_BITS = -1;
const double FULL_SCALE = 2147483648.0;        // 2^31: +-1.0 spans the 32-bit range
const double ONE_STEP = 4.656612873077393e-10;  // 2^-31

// A 32-bit word with its count most significant bits set.
int32_t top_bits(int32_t count) {
  uint32_t mask = 0;
  for (int32_t bit = 31; bit > 31 - count; bit--) mask |= 1u << bit;
  return static_cast<int32_t>(mask);
}

long bytes_for(int32_t samples) {
  return static_cast<long>(samples) * static_cast<long>(sizeof(float));
}

void clear_buffers(Bitgrind* x) {
  std::fill_n(x->history, x->historyLength, 0.0f);
  std::fill_n(x->output, x->historyLength, 0.0f);
}

void* bitgrind_new() {
  auto* x = static_cast<Bitgrind*>(host::newobject(bitgrindClass));
  if (x == nullptr) return nullptr;
  host::floatin(x, 2);
  host::floatin(x, 1);
  host::z_dsp_setup(x, 1);
  host::outlet_new(x, "signal");
  x->historyLength = SHORTEST_HISTORY;
  x->history = static_cast<float*>(host::sysmem_newptr(bytes_for(SHORTEST_HISTORY)));
  x->output = static_cast<float*>(host::sysmem_newptr(bytes_for(SHORTEST_HISTORY)));
  if (x->history == nullptr || x->output == nullptr) {
    tildefx::release_sysmem_block(x->history);
    tildefx::release_sysmem_block(x->output);
    return nullptr;
  }
  clear_buffers(x);
  x->depthMask = ALL_BITS;
  x->depthMaskNext = ALL_BITS;
  x->depthFraction = 0.0f;
  x->foldGain = 1.0f;
  x->foldSize = 1.0f;
  return x;
}

void bitgrind_free(Bitgrind* x) {
  host::z_dsp_free(x);
  tildefx::release_sysmem_block(x->history);
  tildefx::release_sysmem_block(x->output);
}

void bitgrind_depth(Bitgrind* x, double depth) {
  if (!tildefx::check_range(depth, bitgrind::DEPTH)) return;
  const int32_t count = static_cast<int32_t>(depth);
  x->depthFraction = static_cast<float>(depth - count);
  x->depthMask = top_bits(count);
  x->depthMaskNext = top_bits(count + 1);
}

void bitgrind_folds(Bitgrind* x, double folds) {
  if (!tildefx::check_range(folds, bitgrind::FOLDS)) return;
  x->foldSize = static_cast<float>(std::pow(2.0, folds));
  x->foldGain = static_cast<float>(1.0 / x->foldSize);
}

// Accepted so that patches sending it get no error; the history is kept.
void bitgrind_clear(Bitgrind* /*x*/) {}

// A number in the signal inlet changes nothing.
void bitgrind_float(Bitgrind* /*x*/, double /*value*/) {}

void bitgrind_int(Bitgrind* x, int32_t value) { bitgrind_float(x, value); }

// The average of groupSize history samples from start, summed in order with
// the running sum rounded to a float. A group that would run past the end of
// the history takes the samples that exist and keeps the level of a whole
// group, so a steady input stays steady up to the end of the block.
float group_average(const float* history, int32_t length, int32_t start, int32_t groupSize,
                    float foldGain) {
  const int32_t count = std::min(groupSize, length - start);
  float sum = 0.0f;
  // A float addition: the sum of two floats rounded to double and then to a
  // float is their sum rounded straight to a float (a double has more than
  // twice a float's digits).
  for (int32_t i = start; i < start + count; i++) sum += history[i];
  if (count == groupSize) return static_cast<float>(static_cast<double>(sum) * foldGain);
  return static_cast<float>(static_cast<double>(sum) * foldGain * groupSize / count);
}

// A sample as a 32-bit fraction of full scale, truncated toward zero. Full
// scale and beyond saturate (+1.0 would otherwise wrap round to -1.0); NaN
// gives 0.
int32_t to_fixed_point(float sample) {
  if (std::isnan(sample)) return 0;
  const double scaled = sample * FULL_SCALE;
  if (scaled >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (scaled <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(scaled);
}

// Keeps the top bits of the word: a crossfade by fraction between the value
// with mask's bits and the value with one bit more, formed in extended
// precision. On two's-complement words the masks round negative values
// toward minus infinity.
//
// fine - coarse is one bit of the word or 0, so its product with the float
// fraction is exact in double. Whenever adding coarse is exact in double
// too (found as Fast2Sum finds the error of a sum: coarse is 0 or larger
// than the product), extended precision would give that same exact value;
// it is only asked for where the double sum rounds (tiny fractions, or a
// fraction just below a power of two against a large word).
float quantise(int32_t fixed, int32_t mask, int32_t maskNext, float fraction) {
  const int32_t coarse = fixed & mask;
  const int32_t fine = fixed & maskNext;
  const double product = static_cast<double>(fine - coarse) * fraction;
  double blended = product + coarse;
  if (blended - coarse != product)
    blended = static_cast<double>(static_cast<int32_t>(static_cast<long double>(fine - coarse) * fraction + coarse));
  return static_cast<float>(static_cast<int32_t>(blended) * ONE_STEP);
}

// The same value as quantise(to_fixed_point(sample * gain), mask, ...) with
// a fraction of 0, for a group of one sample, in integer and float lane
// operations without a branch, so that the loop over a block vectorises:
// - the float product is the double product rounded once;
// - the average's size is read from its bits: at 1.0 or more (infinity
//   included) the word saturates, above infinity it is NaN and gives 0;
// - scaling by 2^31 is exact, so the float truncates as the double does;
// - the masked word has at most 24 significant bits (the average is a
//   float), so it converts to a float exactly.
float quantise_alone(float sample, float gain, int32_t mask) {
  const float average = sample * gain;
  int32_t bits;
  std::memcpy(&bits, &average, sizeof bits);
  const int32_t size = bits & 0x7fffffff;
  const int32_t notNumber = -static_cast<int32_t>(size > 0x7f800000);  // all bits set where true
  const int32_t fullScale = -static_cast<int32_t>(size >= 0x3f800000) & ~notNumber;
  const int32_t negative = bits >> 31;
  const int32_t insideBits = bits & ~(fullScale | notNumber);
  float inside;
  std::memcpy(&inside, &insideBits, sizeof inside);
  const int32_t truncated = static_cast<int32_t>(inside * 2147483648.0f);
  const int32_t saturated = fullScale & (std::numeric_limits<int32_t>::max() ^ negative);
  return static_cast<float>((truncated | saturated) & mask) * static_cast<float>(ONE_STEP);
}

host::Word* bitgrind_perform(host::Word* w) {
  auto* x = reinterpret_cast<Bitgrind*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int32_t n = static_cast<int32_t>(w[4]);
  const int32_t length = x->historyLength;
  // Only after the host refused the memory for a longer block.
  if (n > length) {
    for (int32_t i = 0; i < n; i++) out[i] = 0.0f;
    return w + 5;
  }
  const int32_t groupSize = static_cast<int32_t>(x->foldSize);
  const float foldGain = x->foldGain;
  const float depthFraction = x->depthFraction;
  const int32_t depthMask = x->depthMask;
  const int32_t depthMaskNext = x->depthMaskNext;
  float* history = x->history;
  float* output = x->output;

  for (int32_t i = 0; i < length - n; i++) history[i] = history[i + n];
  for (int32_t i = 0; i < n; i++) history[length - n + i] = in[i];

  // The output block comes from the oldest n samples of the history, in
  // groups aligned to the start of the block (each group fills its part of
  // the block). Groups of one sample at whole bits take the fast way.
  if (groupSize == 1 && depthFraction == 0.0f) {
    for (int32_t i = 0; i < n; i++) out[i] = quantise_alone(history[i], foldGain, depthMask);
    return w + 5;
  }
  for (int32_t start = 0; start < n; start += groupSize) {
    const float average = group_average(history, length, start, groupSize, foldGain);
    const float held = quantise(to_fixed_point(average), depthMask, depthMaskNext, depthFraction);
    const int32_t end = std::min(start + groupSize, n);
    for (int32_t i = start; i < end; i++) output[i] = held;
  }

  for (int32_t i = 0; i < n; i++) out[i] = output[i];
  return w + 5;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* bitgrind_perform_avx2(host::Word* w) { return bitgrind_perform(w); }

// Both buffers take the new length and are cleared. A buffer the host cannot
// resize keeps its block, so historyLength falls back to the shorter of the
// two lengths, which both buffers surely hold; the perform routine outputs
// silence for blocks longer than that, and the next dsp call tries again.
void resize_buffers(Bitgrind* x, int32_t length) {
  const long oldBytes = bytes_for(x->historyLength);
  const long newBytes = bytes_for(length);
  auto* history = static_cast<float*>(host::t_resizebytes(x->history, oldBytes, newBytes));
  if (history != nullptr) x->history = history;
  auto* output = static_cast<float*>(host::t_resizebytes(x->output, oldBytes, newBytes));
  if (output != nullptr) x->output = output;
  if (history == nullptr || output == nullptr) {
    host::error("%s", RESIZE_ERROR);
    length = std::min(length, x->historyLength);
  }
  x->historyLength = length;
  clear_buffers(x);
}

// The history spans 256 samples, or a whole block when blocks are longer. It
// is resized, and cleared, only when that span changes: a change between
// block sizes up to 256 keeps the history and its contents.
void bitgrind_dsp(Bitgrind* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(
      tildefx::routine_for_processor(bitgrind_perform, bitgrind_perform_avx2), x, signals);
  const int32_t n = signals[0]->blockSize;
  const int32_t length = std::max(n, SHORTEST_HISTORY);
  if (length != x->historyLength) resize_buffers(x, length);
}

void bitgrind_assist(Bitgrind* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text,
                        {"(signal) Input", bitgrind::DEPTH.assist, bitgrind::FOLDS.assist},
                        {"(signal) Output"});
}

}  // namespace

int main() {
  host::setup(&bitgrindClass, (host::Method)bitgrind_new, (host::Method)bitgrind_free,
              sizeof(Bitgrind), nullptr, 0);
  host::addmess((host::Method)bitgrind_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)bitgrind_assist, "assist", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)bitgrind_clear, "clear", host::ARG_END);
  host::addint((host::Method)bitgrind_int);
  host::addfloat((host::Method)bitgrind_float);
  host::addftx((host::Method)bitgrind_depth, bitgrind::DEPTH.inlet);
  host::addftx((host::Method)bitgrind_folds, bitgrind::FOLDS.inlet);
  host::z_add_signalmethod();
  return 0;
}
