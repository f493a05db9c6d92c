// echoloom~: a modulated delay. A delay line of up to 5 seconds is read by one
// head, or by two heads crossfaded half a cycle apart, whose delay a
// low-frequency oscillator of six shapes sweeps. The repeats go back into the
// line through a resonant low-pass, a DC blocker (above unity gain) and an
// arctangent; the feedback polarity can be switched, and freeze makes the
// line loop what it holds.
#include <cmath>
#include <cstdint>

#include "crossfade.h"
#include "delay_line.h"
#include "echoloom.h"
#include "glide.h"
#include "held_writes.h"
#include "host.h"
#include "object.h"
#include "parameters.h"
#include "processor_path.h"

namespace {

host::Class* echoloomClass;

// The delay line and every waveform table hold 2^20 samples.
constexpr int32_t LINE_LENGTH = 1 << 20;
// The engine takes a latched shape value above this as the random shape.
constexpr float RANDOM_SHAPE_ABOVE = 0.833333313f;
// Above this cutoff the low-pass is bypassed (its state still follows).
constexpr double FILTER_OFF_ABOVE = 19000.0;
// A read position nearer than this would put the interpolator's last point
// ahead of the write index.
constexpr float NEAREST_POSITION = 2.0f;

const char* const RATE_ERROR = "sample rate must be >= 64 Hz; the previous rate stays.";

// Below this rate the DC blocker's pole (1 - 126 / rate) leaves the unit
// circle and the loop runs away.
constexpr float LOWEST_SAMPLE_RATE = 64.0f;

// ---- Cycle positions -------------------------------------------------------

// A cycle position brought into [0, length). The usual wrap subtracts one
// cycle; this covers a step of more than a cycle (a rate above the sample
// rate) and a phase driven backwards by an overshooting rate ramp.
float wrap_phase(float phase, float length) {
  double wrapped = std::fmod(static_cast<double>(phase), static_cast<double>(length));
  if (wrapped < 0.0) wrapped += length;
  const float result = static_cast<float>(wrapped);
  return result < length ? result : 0.0f;
}

// ---- Creation and release --------------------------------------------------

// 2 pi as the tables use it: 8 atan(1), with atan(1) rounded to a float.
float two_pi() { return static_cast<float>(8.0 * static_cast<float>(std::atan(1.0))); }

// The five waveform tables, one cycle of each shape over LINE_LENGTH
// entries. They never change, so every instance of the process reads the
// same ones (20 MiB), filled by the first creation; until then they take no
// memory.
struct WaveformTables {
  float sine[LINE_LENGTH];
  float square[LINE_LENGTH];
  float triangle[LINE_LENGTH];
  float rampUp[LINE_LENGTH];
  float rampDown[LINE_LENGTH];
};

// Every entry is computed in double and stored as a float.
bool fill_tables(WaveformTables& tables) {
  const float twoPi = two_pi();
  const int32_t half = LINE_LENGTH / 2;
  const double n = static_cast<float>(LINE_LENGTH);
  for (int32_t k = 0; k < LINE_LENGTH; k++) {
    const double step = static_cast<float>(k);
    tables.sine[k] = static_cast<float>(std::sin(step * twoPi / n));
    tables.square[k] = k < half ? 1.0f : -1.0f;
    tables.triangle[k] = tildefx::crossfade_triangle(k, LINE_LENGTH);
    tables.rampUp[k] = static_cast<float>(2.0 * step / n - 1.0);
    tables.rampDown[k] = static_cast<float>(1.0 - 2.0 * step / n);
  }
  return true;
}

// The tables, filled on the first call. The language runs the initialiser of
// a function's static once, and makes any other thread that calls meanwhile
// wait for it, so instances created on several threads at once are safe.
WaveformTables& waveform_tables() {
  static WaveformTables tables;
  static const bool filled = fill_tables(tables);
  (void)filled;
  return tables;
}

void* echoloom_new() {
  auto* x = static_cast<Echoloom*>(host::newobject(echoloomClass));
  if (x == nullptr) return nullptr;
  host::z_dsp_setup(x, 1);
  host::outlet_new(x, "signal");

  x->sampleRate = 44100.0f;
  x->vectorSize = 64.0f;
  x->rampFactor = 1.0f / 64.0f;
  x->readIndex1 = 0;
  x->readIndex2 = 0;
  x->writeIndex = 0;
  x->bufferLength = LINE_LENGTH;
  x->indexMask = LINE_LENGTH - 1;
  // Without its line the perform routine has nothing to run on: refuse the
  // instance.
  x->ringBuffer = tildefx::new_ring_buffer(x->bufferLength, tildefx::BufferSource::Malloc);
  if (x->ringBuffer == nullptr) return nullptr;

  x->time = {0.1f, 0.1f, 0.0f};
  x->feedback.set(0.5f);
  x->lfoValue1 = 0.0f;
  x->lfoValue2 = 0.0f;
  x->randomSlope = 0.0f;
  x->phase1 = 0.75f;
  x->phase2 = 0.75f;
  x->tableLength = static_cast<float>(LINE_LENGTH);
  WaveformTables& tables = waveform_tables();
  x->sineTable = tables.sine;
  x->squareTable = tables.square;
  x->triangleTable = tables.triangle;
  x->rampUpTable = tables.rampUp;
  x->rampDownTable = tables.rampDown;

  x->lfoFreq.set(0.2f);
  x->depth = {0.0f, 0.0f, 0.0f, 0};
  x->shapeValue = 0.0f;
  x->latchedShapeValue = 0.0f;

  x->targetFilterFreq = 20000.0f;
  x->currentFilterFreq = 20000.0f;
  x->targetResonance = 0.5f;
  x->currentResonance = 0.5f;
  x->freeze = 0;
  x->secondHead = 0;
  x->feedbackSwitch = 1;
  x->lfoTable = x->sineTable;
  // The low-pass runs on every sample; the DC blocker above unity gain.
  x->writeStage = tildefx::WriteStage{};
  x->writeStage.lowpassRuns = true;
  x->writeStage.dcAboveGain = 1.0f;
  return x;
}

// The waveform tables are shared and stay.
void echoloom_free(Echoloom* x) {
  host::z_dsp_free(x);
  tildefx::release_malloc_block(x->ringBuffer);
}

// ---- Messages --------------------------------------------------------------

void echoloom_time(Echoloom* x, double ms) {
  if (!tildefx::check_range(ms, echoloom::TIME)) return;
  // A linear glide lasting 0.1 s.
  tildefx::glide_to(x->time, static_cast<float>(ms / 1000.0), static_cast<double>(x->sampleRate) * 0.1f);
}

void echoloom_feedback(Echoloom* x, double percent) {
  if (tildefx::check_range(percent, echoloom::FEEDBACK))
    x->feedback.target = static_cast<float>(percent / 200.0);
}

void echoloom_lfo_freq(Echoloom* x, double hz) {
  if (tildefx::check_range(hz, echoloom::LFO_FREQ)) x->lfoFreq.target = static_cast<float>(hz);
}

void echoloom_lfo_depth(Echoloom* x, double percent) {
  if (!tildefx::check_range(percent, echoloom::LFO_DEPTH)) return;
  tildefx::glide_in_one_second(x->depth, static_cast<float>(percent / 100.0), x->sampleRate, x->vectorSize);
}

// Shapes 0 to 5 arrive as value / 5: sine, triangle, square, rising ramp,
// falling ramp, and the random shape, which keeps the table it had.
float* table_for_shape(const Echoloom* x, float shapeValue) {
  if (shapeValue < 0.1666666) return x->sineTable;
  if (shapeValue < 0.33333333) return x->triangleTable;
  if (shapeValue < 0.5) return x->squareTable;
  if (shapeValue < 0.66666666) return x->rampUpTable;
  if (shapeValue < 0.83333333) return x->rampDownTable;
  return x->lfoTable;
}

void echoloom_lfo_shape(Echoloom* x, double shape) {
  if (!tildefx::check_range(shape, echoloom::LFO_SHAPE)) return;
  x->shapeValue = static_cast<float>(shape / 5.0);
  x->lfoTable = table_for_shape(x, x->shapeValue);
}

// The angle places the first head in its cycle: -180 degrees at the start,
// 0 halfway, 180 back at the start. The second head stays half a cycle on.
void echoloom_lfo_phase(Echoloom* x, double degrees) {
  if (!tildefx::check_range(degrees, echoloom::LFO_PHASE)) return;
  const float fraction = static_cast<float>((degrees + 180.0) / 360.0);
  x->phase1 = wrap_phase(static_cast<float>(static_cast<double>(fraction) * x->tableLength),
                         x->tableLength);
}

void echoloom_filter_freq(Echoloom* x, double hz) {
  if (tildefx::check_range(hz, echoloom::FILTER_FREQ))
    x->targetFilterFreq = static_cast<float>(hz);
}

void echoloom_resonance(Echoloom* x, double percent) {
  if (tildefx::check_range(percent, echoloom::RESONANCE))
    x->targetResonance = static_cast<float>(percent / 100.0);
}

void echoloom_feedback_switch(Echoloom* x, double value) {
  if (tildefx::check_range(value, echoloom::FEEDBACK_SWITCH))
    x->feedbackSwitch = static_cast<int32_t>(value);
}

void echoloom_freeze(Echoloom* x, double value) {
  if (tildefx::check_range(value, echoloom::FREEZE)) x->freeze = static_cast<int32_t>(value);
}

void echoloom_heads(Echoloom* x, double heads) {
  if (tildefx::check_range(heads, echoloom::HEADS))
    x->secondHead = static_cast<int32_t>(heads) - 1;
}

// ---- The engine ------------------------------------------------------------

// What a block fixes at its start.
struct BlockSettings {
  float feedbackStep;
  float lfoFreqStep;
  bool randomShape;
  float longestPosition;  // the furthest read position the line holds
};

// Also sets the loop's filters for the block.
BlockSettings start_block(Echoloom* x) {
  BlockSettings block;
  // Both ramps use the fixed factor, whatever the block length.
  block.feedbackStep = x->feedback.step(x->rampFactor);
  block.lfoFreqStep = x->lfoFreq.step(x->rampFactor);
  x->latchedShapeValue = x->shapeValue;
  x->currentResonance = x->targetResonance;
  x->currentFilterFreq = x->targetFilterFreq;
  block.randomShape = x->latchedShapeValue > RANDOM_SHAPE_ABOVE;
  block.longestPosition = static_cast<float>(x->bufferLength - 1);
  tildefx::WriteStage& stage = x->writeStage;
  stage.lowpassHeard = !(x->currentFilterFreq > FILTER_OFF_ABOVE);
  stage.dcBlocker.set_rate(x->sampleRate);
  stage.lowpass.set(x->currentFilterFreq, x->currentResonance, x->sampleRate);
  return block;
}

// A new random segment: lfoValue1 heads for a goal drawn from -depth..+depth
// and reaches it after one cycle. A cycle shorter than a sample (a rate ramp
// that overshoots at a low sample rate) reaches it in one sample: a larger
// slope would carry the value past its goal, further at every cycle.
void start_random_segment(Echoloom* x, float rate) {
  const float q = static_cast<float>(host::rand() / 32767.0);
  const float goal = static_cast<float>((q * 2.0 - 1.0) * x->depth.current);
  const float perSample = rate < 1.0f ? rate : 1.0f;
  x->randomSlope = static_cast<float>((static_cast<double>(goal) - x->lfoValue1) * perSample);
}

// The table entries both heads will read some samples on. The heads move
// through the 4 MiB tables by a cache line or more per sample at the faster
// rates, too irregularly for the processor to fetch ahead by itself; asking
// early keeps each read from waiting on memory. A hint only: it changes no
// value.
constexpr float PREFETCH_SAMPLES = 16.0f;

void prefetch_ahead(const Echoloom* x, float step) {
  const int32_t last = LINE_LENGTH - 1;
  float lead = PREFETCH_SAMPLES * step;
  if (!(lead >= 0.0f && lead < LINE_LENGTH)) lead = 0.0f;  // a rate far above the sample rate
  const int32_t ahead = static_cast<int32_t>(x->phase1 + lead) & last;
  __builtin_prefetch(&x->lfoTable[ahead]);
  __builtin_prefetch(&x->lfoTable[(ahead + LINE_LENGTH / 2) & last]);
}

// The first head's modulation value is taken before its phase advances; each
// wrap of the phase draws the next random segment, whatever the shape.
void modulate_first_head(Echoloom* x, bool randomShape) {
  if (randomShape)
    x->lfoValue1 = static_cast<float>(static_cast<double>(x->lfoValue1) + x->randomSlope);
  else
    x->lfoValue1 = static_cast<float>(
        static_cast<double>(x->lfoTable[static_cast<int32_t>(x->phase1)]) * x->depth.current);

  const float rate = static_cast<float>(static_cast<double>(x->lfoFreq.current) / x->sampleRate);
  const float step = static_cast<float>(static_cast<double>(rate) * x->tableLength);
  x->phase1 = static_cast<float>(static_cast<double>(x->phase1) + step);
  if (x->phase1 >= x->tableLength) {
    x->phase1 = static_cast<float>(static_cast<double>(x->phase1) - x->tableLength);
    start_random_segment(x, rate);
  }
  if (!(x->phase1 >= 0.0f && x->phase1 < x->tableLength))
    x->phase1 = wrap_phase(x->phase1, x->tableLength);
  prefetch_ahead(x, step);
}

// The second head runs half a cycle ahead of the first. Under the random
// shape it mirrors the first head's value, as it does for the symmetric
// table shapes, and keeps its place in the crossfade.
void modulate_second_head(Echoloom* x, bool randomShape) {
  x->phase2 = static_cast<float>(x->tableLength * 0.5 + x->phase1);
  if (x->phase2 >= x->tableLength)
    x->phase2 = static_cast<float>(static_cast<double>(x->phase2) - x->tableLength);
  if (randomShape)
    x->lfoValue2 = -x->lfoValue1;
  else
    x->lfoValue2 = static_cast<float>(
        static_cast<double>(x->lfoTable[static_cast<int32_t>(x->phase2)]) * x->depth.current);
}

// How far behind the write index a head reads, in samples, for the delay D
// and the modulation value v: D * (1 + v) + 2, kept within the line.
float head_position(float delay, float lfoValue, float longest) {
  const float swept = static_cast<float>(static_cast<double>(delay) * lfoValue + delay);
  const float position = static_cast<float>(static_cast<double>(swept) + 2.0);
  if (position > longest) return longest;
  if (!(position >= NEAREST_POSITION)) return NEAREST_POSITION;
  return position;
}

void end_sample(Echoloom* x, const BlockSettings& block) {
  x->feedback.current = static_cast<float>(static_cast<double>(x->feedback.current) + block.feedbackStep);
  x->writeIndex = (x->writeIndex + 1) & x->indexMask;
  x->lfoFreq.current = static_cast<float>(static_cast<double>(x->lfoFreq.current) + block.lfoFreqStep);
  tildefx::counted_glide_step(x->depth);
  tildefx::glide_step(x->time);
}

// The ramps land on their targets; the depth glide counts down its blocks.
void end_block(Echoloom* x) {
  x->feedback.end_block();
  x->lfoFreq.end_block();
  tildefx::count_block(x->depth);
}

host::Word* echoloom_perform(host::Word* w) {
  auto* x = reinterpret_cast<Echoloom*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int n = static_cast<int>(w[4]);
  const BlockSettings block = start_block(x);
  const tildefx::DelayLine line{x->ringBuffer, x->indexMask};
  tildefx::HeldWrites writes(line, x->writeIndex, x->writeStage, in, out);

  // The switches, the table and the time glide are read every sample. The
  // loop works on the record's fields: held in locals (as tonewarp~ and
  // grainfall~ hold theirs) they measured 5 to 20 % slower with two heads,
  // since they do not all fit in registers and were loaded more often than
  // the fields are.
  tildefx::run_reads_then_writes(writes, n, [&](int i) {
    modulate_first_head(x, block.randomShape);
    const bool twoHeads = x->secondHead == 1;
    if (twoHeads) modulate_second_head(x, block.randomShape);

    const float delay = static_cast<float>(static_cast<double>(x->time.current) * x->sampleRate);
    const tildefx::ReadPlace head1 =
        tildefx::place_behind(x->writeIndex, head_position(delay, x->lfoValue1, block.longestPosition), x->indexMask);
    x->readIndex1 = head1.index;
    tildefx::ReadPlace head2{};
    if (twoHeads) {
      head2 = tildefx::place_behind(x->writeIndex, head_position(delay, x->lfoValue2, block.longestPosition),
                                    x->indexMask);
      x->readIndex2 = head2.index;
      writes.before_read(i, x->writeIndex, x->readIndex2);
    }
    writes.before_read(i, x->writeIndex, x->readIndex1);

    if (x->freeze != 0) {
      // The line loops: each slot takes the sample trunc(p1) behind it.
      writes.write_until(i);
      x->ringBuffer[x->writeIndex] = x->ringBuffer[x->readIndex1];
      writes.out[i] = x->ringBuffer[x->writeIndex];
      writes.written_directly(i + 1);
    } else {
      float delayed = line.read(head1);
      // The heads cross-fade by their own cycle positions.
      if (twoHeads)
        delayed = tildefx::crossfade_two_reads(delayed, static_cast<int32_t>(x->phase1), line.read(head2),
                                               static_cast<int32_t>(x->phase2), LINE_LENGTH);
      const float gain = static_cast<float>(2.0 * x->feedback.current);
      writes.hold(i, x->feedbackSwitch == 1 ? gain : -gain, delayed);
    }
    end_sample(x, block);
  });
  x->writeStage = writes.stage;
  end_block(x);
  return w + 5;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* echoloom_perform_avx2(host::Word* w) { return echoloom_perform(w); }

// A rate the loop cannot run at is refused; the object keeps the rate it had.
void echoloom_dsp(Echoloom* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(
      tildefx::routine_for_processor(echoloom_perform, echoloom_perform_avx2), x, signals);
  x->vectorSize = static_cast<float>(signals[0]->blockSize);
  if (signals[0]->sampleRate >= LOWEST_SAMPLE_RATE)
    x->sampleRate = signals[0]->sampleRate;
  else
    host::error("%s", RATE_ERROR);
}

void echoloom_assist(Echoloom* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text, {"(signal) Input"}, {"(signal) Output"});
}

}  // namespace

int main() {
  host::setup(&echoloomClass, (host::Method)echoloom_new, (host::Method)echoloom_free,
              sizeof(Echoloom), nullptr, 0);
  host::addmess((host::Method)echoloom_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)echoloom_assist, "assist", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)echoloom_time, echoloom::TIME.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_feedback, echoloom::FEEDBACK.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_lfo_freq, echoloom::LFO_FREQ.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_lfo_depth, echoloom::LFO_DEPTH.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_lfo_shape, echoloom::LFO_SHAPE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_lfo_phase, echoloom::LFO_PHASE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_filter_freq, echoloom::FILTER_FREQ.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_resonance, echoloom::RESONANCE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_feedback_switch, echoloom::FEEDBACK_SWITCH.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_freeze, echoloom::FREEZE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)echoloom_heads, echoloom::HEADS.name, host::ARG_FLOAT, 0);
  host::z_add_signalmethod();
  return 0;
}
