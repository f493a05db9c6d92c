// tonewarp~: a pitch-shifting delay. Two taps sweep through a window around
// the delay time at a speed that sets the pitch ratio, half a window apart and
// crossfaded with triangular weights so that each tap jumps back while it is
// silent. The shifted output is fed back through a DC-blocking high-pass and
// an arctangent into the line, so each echo is shifted again.
#include <cmath>
#include <cstdint>

#include "crossfade.h"
#include "delay_line.h"
#include "glide.h"
#include "held_writes.h"
#include "host.h"
#include "object.h"
#include "parameters.h"
#include "processor_path.h"
#include "tonewarp.h"

namespace {

host::Class* tonewarpClass;

constexpr int32_t LINE_LENGTH = 1 << 20;  // the delay line and the steps of the window

const char* const RATE_ERROR = "sample rate must be >= 126 Hz; the previous rate stays.";

// Below this rate the pole of the feedback high-pass would turn negative, and
// below half of it the high-pass would run away.
constexpr float LOWEST_SAMPLE_RATE = 126.0f;

// The farthest sample a tap reads lies less than D + L + 3 samples back, and
// the line holds 2^20. Keeping D + L within LONGEST_REACH keeps every read
// inside the line's history; the delay alone is held to LONGEST_DELAY so that
// a window is always left.
constexpr double LONGEST_REACH = LINE_LENGTH - 3;
constexpr float LONGEST_DELAY = 1000000.0f;

// A phase wrap normally takes one step. After an abrupt change of the
// window (a new sample rate) it may need many, or with a step too small to
// change the float, never end: past this many steps the phase is reduced
// in one go.
constexpr int MOST_WRAP_STEPS = 16;

// The intervals from unison to the octave: a fraction, or with denominator
// ET an equal-tempered step of that many semitones.
constexpr int ET = 0;
const int INTERVALS[TONEWARP_INTERVALS][2] = {
    {1, 1},  {1, ET},  {16, 15}, {10, 9},  {2, ET},  {9, 8},   {8, 7},  {7, 6},  {3, ET},
    {6, 5},  {5, 4},   {4, ET},  {9, 7},   {4, 3},   {5, ET},  {7, 5},  {6, ET}, {10, 7},
    {7, ET}, {3, 2},   {14, 9},  {11, 7},  {8, ET},  {8, 5},   {5, 3},  {9, ET}, {12, 7},
    {7, 4},  {16, 9},  {10, ET}, {9, 5},   {13, 7},  {15, 8},  {11, ET}, {2, 1}};

static_assert(tonewarp::PITCH_FACTOR.maximum == TONEWARP_INTERVALS - 1 &&
                  tonewarp::PITCH_FACTOR.choices.count == TONEWARP_INTERVALS,
              "a name and an index for every interval");

float interval_ratio(const int interval[2]) {
  if (interval[1] == ET) return static_cast<float>(std::pow(2.0, interval[0] / 12.0));
  // A float division gives the float nearest to the fraction.
  return static_cast<float>(interval[0]) / static_cast<float>(interval[1]);
}

void* tonewarp_new() {
  auto* x = static_cast<Tonewarp*>(host::newobject(tonewarpClass));
  if (x == nullptr) return nullptr;
  host::z_dsp_setup(x, 1);
  host::outlet_new(x, "signal");
  x->sampleRate = 44100.0f;
  x->vectorSize = 64.0f;
  x->ringBuffer = tildefx::new_ring_buffer(LINE_LENGTH, tildefx::BufferSource::Sysmem);
  if (x->ringBuffer == nullptr) return nullptr;
  x->time = {0.3f, 0.3f, 0.0f};
  for (int k = 0; k < TONEWARP_INTERVALS; k++) x->intervalTable[k] = interval_ratio(INTERVALS[k]);
  x->pitchIndex = 0;
  x->feedback.set(0.5f);
  x->octave = 0.0f;
  x->depth = {0.25f, 0.25f, 0.0f, 0};
  x->windowTableLength = LINE_LENGTH;
  x->indexMask = LINE_LENGTH - 1;
  x->writeStage = tildefx::WriteStage{};  // a DC blocker at every gain, no low-pass
  x->shiftOctave = NAN;  // no pitch ratio computed yet
  // Phases and working indexes start at zero.
  return x;
}

void tonewarp_free(Tonewarp* x) {
  host::z_dsp_free(x);
  tildefx::release_sysmem_block(x->ringBuffer);
}

// The delay glides to its new value in half a second.
void tonewarp_time(Tonewarp* x, double ms) {
  if (!tildefx::check_range(ms, tonewarp::TIME)) return;
  tildefx::glide_to(x->time, static_cast<float>(ms / 1000.0), 0.5 * x->sampleRate);
}

// The argument is an index into the interval table, truncated: 34.9
// selects 34.
void tonewarp_pitch_factor(Tonewarp* x, double value) {
  const double index = std::trunc(value);
  if (tildefx::check_range(index, tonewarp::PITCH_FACTOR))
    x->pitchIndex = static_cast<int32_t>(index);
}

void tonewarp_feedback(Tonewarp* x, double percent) {
  if (tildefx::check_range(percent, tonewarp::FEEDBACK))
    x->feedback.target = static_cast<float>(percent / 200.0);
}

void tonewarp_octave(Tonewarp* x, double octaves) {
  if (tildefx::check_range(octaves, tonewarp::OCTAVE)) x->octave = static_cast<float>(octaves);
}

// The depth moves by a per-sample step for one second's worth of blocks and
// then lands on the target.
void tonewarp_loop_depth(Tonewarp* x, double percent) {
  if (!tildefx::check_range(percent, tonewarp::LOOP_DEPTH)) return;
  tildefx::glide_in_one_second(x->depth, static_cast<float>(percent / 100.0), x->sampleRate, x->vectorSize);
}

// The phase minus the whole number of windows 2L that brings it into
// (-L, L], in one computation.
float reduce_phase(float phase, float halfWidth) {
  const double width = halfWidth * 2.0;
  double above = std::fmod(phase + static_cast<double>(halfWidth), width);
  if (above <= 0.0) above += width;
  const float wrapped = static_cast<float>(above - halfWidth);
  return wrapped > -halfWidth ? wrapped : halfWidth;
}

// Brings a phase into (-L, L] by steps of 2L.
float wrap_phase(float phase, float halfWidth) {
  const double width = halfWidth * 2.0;
  for (int steps = 0; phase > halfWidth; steps++) {
    if (steps == MOST_WRAP_STEPS) return reduce_phase(phase, halfWidth);
    phase = static_cast<float>(phase - width);
  }
  for (int steps = 0; phase <= -halfWidth; steps++) {
    if (steps == MOST_WRAP_STEPS) return reduce_phase(phase, halfWidth);
    phase = static_cast<float>(phase + width);
  }
  return phase;
}

// Where a wrapped phase falls in the window table: -L at its start, 0 in the
// middle, L at its end, which is its start again. A phase within (-L, L]
// gives a position within [0, T], so each wrap takes at most one step.
float window_position(float phase, float halfWidth, float tableLength) {
  float position = static_cast<float>((static_cast<double>(halfWidth) + phase) * tableLength /
                                      (halfWidth * 2.0));
  const double length = tableLength;
  while (position >= tableLength) position = static_cast<float>(position - length);
  while (position < 0.0f) position = static_cast<float>(position + length);
  return position;
}

float delay_in_samples(float time, float sampleRate) {
  const float delay = static_cast<float>(static_cast<double>(time) * sampleRate);
  return delay > LONGEST_DELAY ? LONGEST_DELAY : delay;
}

// Half the sweep window, narrowed where the farthest tap would leave the
// line's history (long, deep sweeps above about 104.8 kHz).
double sweep_half_width(float depth, float delay) {
  const double halfWidth = static_cast<double>(depth) * delay;
  if (delay + halfWidth > LONGEST_REACH) return LONGEST_REACH - delay;
  return halfWidth;
}

// Where one tap reads: the line p - 1 samples behind the write index, where
// p = D - phase + 2.
tildefx::ReadPlace place_tap(int32_t mask, int32_t writeIndex, float delay, float phase) {
  return tildefx::place_behind(writeIndex, static_cast<float>(static_cast<double>(delay) - phase + 2.0), mask);
}

// The samples of one block. Messages arrive between blocks, so the fields
// the loop reads and moves are held in locals and stored back at its end.
void process_block(Tonewarp* x, const float* in, float* out, int n) {
  const int32_t mask = x->indexMask;
  const float tableLength = static_cast<float>(x->windowTableLength);
  const float sampleRate = x->sampleRate;
  const float shiftRate = x->shiftRate;
  const float feedbackStep = x->feedback.step(static_cast<float>(1.0 / n));
  tildefx::Glide time = x->time;
  tildefx::CountedGlide depth = x->depth;
  float feedback = x->feedback.current;
  float phase1 = x->phase1;
  float phase2 = x->phase2;
  float windowIndex1 = x->windowIndex1;
  float windowIndex2 = x->windowIndex2;
  tildefx::ReadPlace tap1Place{x->readIndex1, 0.0f};
  tildefx::ReadPlace tap2Place{x->readIndex2, 0.0f};
  int32_t writeIndex = x->writeIndex;
  const tildefx::DelayLine line{x->ringBuffer, mask};
  tildefx::HeldWrites writes(line, writeIndex, x->writeStage, in, out);

  tildefx::run_reads_then_writes(writes, n, [&](int i) {
    const float delay = delay_in_samples(time.current, sampleRate);
    if (depth.current < 0.01f) depth.current = 0.01f;
    phase1 = static_cast<float>(static_cast<double>(phase1) + shiftRate);
    const double halfWidthExact = sweep_half_width(depth.current, delay);
    phase2 = static_cast<float>(phase1 + halfWidthExact);
    const float halfWidth = static_cast<float>(halfWidthExact);
    phase1 = wrap_phase(phase1, halfWidth);
    phase2 = wrap_phase(phase2, halfWidth);
    windowIndex1 = window_position(phase1, halfWidth, tableLength);
    windowIndex2 = window_position(phase2, halfWidth, tableLength);

    tap1Place = place_tap(mask, writeIndex, delay, phase1);
    tap2Place = place_tap(mask, writeIndex, delay, phase2);
    writes.before_read(i, writeIndex, tap1Place.index);
    writes.before_read(i, writeIndex, tap2Place.index);
    // The taps cross-fade by their places in the window.
    const float crossfaded =
        tildefx::crossfade_two_reads(line.read(tap1Place), static_cast<int32_t>(windowIndex1), line.read(tap2Place),
                                     static_cast<int32_t>(windowIndex2), LINE_LENGTH);
    writes.hold(i, static_cast<float>(2.0 * feedback), crossfaded);
    writeIndex = (writeIndex + 1) & mask;

    feedback = static_cast<float>(static_cast<double>(feedback) + feedbackStep);
    tildefx::counted_glide_step(depth);
    tildefx::glide_step(time);
  });

  x->time = time;
  x->depth.current = depth.current;
  x->feedback.current = feedback;
  x->phase1 = phase1;
  x->phase2 = phase2;
  x->windowIndex1 = windowIndex1;
  x->windowIndex2 = windowIndex2;
  x->readIndex1 = tap1Place.index;
  x->readIndex2 = tap2Place.index;
  x->writeIndex = writeIndex;
  x->writeStage = writes.stage;
}

host::Word* tonewarp_perform(host::Word* w) {
  auto* x = reinterpret_cast<Tonewarp*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int n = static_cast<int>(w[4]);

  x->writeStage.dcBlocker.set_rate(x->sampleRate);
  if (x->octave != x->shiftOctave || x->pitchIndex != x->shiftPitchIndex) {
    x->shiftRate = static_cast<float>(std::pow(2.0, static_cast<double>(x->octave)) *
                                          x->intervalTable[x->pitchIndex] -
                                      1.0);
    x->shiftOctave = x->octave;
    x->shiftPitchIndex = x->pitchIndex;
  }
  if (n > 0) process_block(x, in, out, n);

  tildefx::count_block(x->depth);
  x->feedback.end_block();
  return w + 5;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* tonewarp_perform_avx2(host::Word* w) { return tonewarp_perform(w); }

void tonewarp_dsp(Tonewarp* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(
      tildefx::routine_for_processor(tonewarp_perform, tonewarp_perform_avx2), x, signals);
  const float blockSize = static_cast<float>(signals[0]->blockSize);
  float sampleRate = signals[0]->sampleRate;
  if (!(sampleRate >= LOWEST_SAMPLE_RATE)) {
    host::error("%s", RATE_ERROR);
    sampleRate = x->sampleRate;
  }
  // A depth glide counts its second in blocks: a new block size converts the
  // count, so that the glide still lasts the same number of samples.
  if (blockSize != x->vectorSize) tildefx::keep_glide_length(x->depth, x->vectorSize, blockSize);
  x->vectorSize = blockSize;
  x->sampleRate = sampleRate;
}

void tonewarp_assist(Tonewarp* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text, {"(signal) Input"}, {"(signal) Output"});
}

}  // namespace

int main() {
  host::setup(&tonewarpClass, (host::Method)tonewarp_new, (host::Method)tonewarp_free,
              sizeof(Tonewarp), nullptr, 0);
  host::addmess((host::Method)tonewarp_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)tonewarp_assist, "assist", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)tonewarp_time, tonewarp::TIME.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)tonewarp_pitch_factor, tonewarp::PITCH_FACTOR.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)tonewarp_feedback, tonewarp::FEEDBACK.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)tonewarp_octave, tonewarp::OCTAVE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)tonewarp_loop_depth, tonewarp::LOOP_DEPTH.name, host::ARG_FLOAT, 0);
  host::z_add_signalmethod();
  return 0;
}
