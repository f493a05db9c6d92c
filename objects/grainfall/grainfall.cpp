// grainfall~: a granular delay. The input plus the fed-back grain sum passes a
// resonant low-pass, a DC blocker and an arctangent into a 2^21-sample delay
// line, from which up to eight grains at a time read back, transposed by
// octaves and, while notes are held, by the interval of a held pitch class,
// forwards or backwards, each under a raised-cosine window.
//
// Rounding: a single operation on two floats is written in float, since it
// rounds exactly as the same operation in double rounded to float would;
// longer expressions are formed in double and rounded where they are stored.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "delay_line.h"
#include "fast_math.h"
#include "glide.h"
#include "grainfall.h"
#include "held_writes.h"
#include "host.h"
#include "object.h"
#include "parameters.h"
#include "processor_path.h"
#include "random_next.h"
#include "resonant_lowpass.h"

namespace {

host::Class* grainfallClass;

constexpr int32_t BUFFER_LENGTH = 2097152;  // 2^21 samples: about 47.5 s at 44.1 kHz
constexpr float TWO_PI_FLOAT = 2.0f * tildefx::PI_FLOAT;
constexpr float BYPASS_ABOVE_HZ = 19000.0f;
constexpr float NO_MORE_GRAINS = 1e33f;  // a grain interval no count reaches

// Below 64 Hz the DC blocker's pole (1 - 126 / rate) leaves the unit circle
// and the loop runs away; far above any real rate the read points of
// transposed grains would overflow.
constexpr float LOWEST_RATE = 64.0f;
constexpr float HIGHEST_RATE = 10000000.0f;
const char* const RATE_ERROR = "sample rate must be >= 64 Hz and <= 10000000 Hz.";

// Notes 0 to 127 give the octaves -5 to 5; higher notes keep octave 5, so
// that no note can send the read positions beyond what the wrap handles.
constexpr int32_t HIGHEST_NOTE_OCTAVE = 5;

// Where the clock would pass 2^31 - 1 it restarts from 0, and every time
// held on it moves back by the same 2^31 samples.
constexpr int64_t CLOCK_TURN = 2147483648LL;

const double JUST_RATIOS[PITCH_CLASSES + 1] = {
    1.0, 16.0 / 15.0, 9.0 / 8.0, 6.0 / 5.0, 5.0 / 4.0, 4.0 / 3.0, 7.0 / 5.0,
    3.0 / 2.0, 8.0 / 5.0, 5.0 / 3.0, 7.0 / 4.0, 15.0 / 8.0, 2.0};

// ---- Creation --------------------------------------------------------------

void build_ratio_table(Grainfall* x) {
  for (int i = 0; i <= PITCH_CLASSES; i++) {
    x->ratioTable[0][i] = static_cast<float>(std::pow(2.0, i / 12.0));
    x->ratioTable[1][i] = static_cast<float>(JUST_RATIOS[i]);
  }
}

void* grainfall_new() {
  auto* x = static_cast<Grainfall*>(host::newobject(grainfallClass));
  if (x == nullptr) return nullptr;
  host::z_dsp_setup(x, 1);
  host::inlet_new(x, "list");
  host::outlet_new(x, "signal");
  tildefx::random_next(x->randomState);
  x->sampleRate = 44100.0f;
  x->vectorSize = 64.0f;
  x->ringBuffer = tildefx::new_ring_buffer(BUFFER_LENGTH, tildefx::BufferSource::Malloc);
  if (x->ringBuffer == nullptr) return nullptr;
  std::fill(x->voices, x->voices + GRAIN_VOICES, GrainVoice{});
  x->time = {0.3f, 0.3f, 0.0f};
  x->indexMask = BUFFER_LENGTH - 1;
  x->bufferLength = BUFFER_LENGTH;
  x->writeIndex = 0;
  x->sampleCount = 0;
  x->lastGrainStart = 0;
  x->intonation = 1;
  x->timeVariation.set(0.0f);
  x->feedback.set(0.0f);
  x->targetFilterFreq = x->currentFilterFreq = 20000.0f;
  x->targetResonance = x->currentResonance = 0.5f;
  x->density.set(0.8f);
  x->grainInterval = 0.0f;
  x->grainSize.set(0.2f);
  x->grainStartVariation.set(0.0f);
  x->grainReversal.set(0.0f);
  x->octave = 0.0f;
  x->octaveVariation.set(0.0f);
  std::fill(x->heldFlags, x->heldFlags + PITCH_CLASSES, 0.0f);
  std::fill(x->heldList, x->heldList + PITCH_CLASSES, 0);
  x->heldCount = 0;
  build_ratio_table(x);
  // The low-pass runs on every sample, the DC blocker at every gain.
  x->writeStage = tildefx::WriteStage{};
  x->writeStage.lowpassRuns = true;
  return x;
}

void grainfall_free(Grainfall* x) {
  host::z_dsp_free(x);
  tildefx::release_malloc_block(x->ringBuffer);
}

// ---- Parameter messages ----------------------------------------------------

// Stores value / scale as a parameter's target when value lies in its range.
void set_target(float& target, double value, const tildefx::Parameter& parameter, double scale) {
  if (tildefx::check_range(value, parameter)) target = static_cast<float>(value / scale);
}

// The delay time glides to its new value in 100 ms at the last recorded rate.
void grainfall_time(Grainfall* x, double ms) {
  if (!tildefx::check_range(ms, grainfall::TIME)) return;
  tildefx::glide_to(x->time, static_cast<float>(ms / 1000.0), static_cast<double>(x->sampleRate) * 0.1f);
}

void grainfall_time_variation(Grainfall* x, double percent) {
  set_target(x->timeVariation.target, percent, grainfall::TIME_VARIATION, 100.0);
}

void grainfall_feedback(Grainfall* x, double percent) {
  set_target(x->feedback.target, percent, grainfall::FEEDBACK, 200.0);
}

void grainfall_filter_freq(Grainfall* x, double hz) {
  set_target(x->targetFilterFreq, hz, grainfall::FILTER_FREQ, 1.0);
}

void grainfall_resonance(Grainfall* x, double percent) {
  set_target(x->targetResonance, percent, grainfall::RESONANCE, 100.0);
}

void grainfall_density(Grainfall* x, double percent) {
  set_target(x->density.target, percent, grainfall::DENSITY, 200.0);
}

void grainfall_grain_size(Grainfall* x, double percent) {
  set_target(x->grainSize.target, percent, grainfall::GRAIN_SIZE, 50.0);
}

void grainfall_grain_start_variation(Grainfall* x, double percent) {
  set_target(x->grainStartVariation.target, percent, grainfall::GRAIN_START_VARIATION, 100.0);
}

void grainfall_octave(Grainfall* x, double octaves) {
  set_target(x->octave, octaves, grainfall::OCTAVE, 1.0);
}

void grainfall_octave_variation(Grainfall* x, double octaves) {
  set_target(x->octaveVariation.target, octaves, grainfall::OCTAVE_VARIATION, 1.0);
}

void grainfall_grain_reversal(Grainfall* x, double percent) {
  set_target(x->grainReversal.target, percent, grainfall::GRAIN_REVERSAL, 100.0);
}

void grainfall_12tet(Grainfall* x) {
  x->intonation = 0;
  host::post("%s", "12tet intonation.");
}

void grainfall_just(Grainfall* x) {
  x->intonation = 1;
  host::post("%s", "just intonation.");
}

// ---- Held pitch classes ----------------------------------------------------

void hold_pitch_class(Grainfall* x, int32_t pitchClass, int32_t noteOctave) {
  x->octave = static_cast<float>(std::min(noteOctave - 5, HIGHEST_NOTE_OCTAVE));
  x->heldFlags[pitchClass] = 1.0f;
  x->heldList[x->heldCount] = pitchClass;
  x->heldCount += 1;
}

// Removes the pitch class from the list, keeping the order of the others.
void release_pitch_class(Grainfall* x, int32_t pitchClass) {
  x->heldFlags[pitchClass] = 0.0f;
  int i = 0;
  while (i < x->heldCount && x->heldList[i] != pitchClass) i++;
  for (; i < PITCH_CLASSES - 1; i++) x->heldList[i] = x->heldList[i + 1];
  x->heldList[PITCH_CLASSES - 1] = 0;
  x->heldCount -= 1;
}

// A note and a velocity: above 0 holds the note's pitch class (and takes its
// octave), 0 or less releases it. A pitch class already held in any octave
// is neither held again nor given a new octave.
void grainfall_list(Grainfall* x, host::Symbol* /*selector*/, short argc, host::Atom* argv) {
  if (argc != 2) {
    host::error("%s", "need note and velocity");
    return;
  }
  if (argv[0].type == host::ATOM_SYMBOL || argv[1].type == host::ATOM_SYMBOL) {
    host::error("%s", "note and velocity must be numbers");  // a word would read as 0
    return;
  }
  const int32_t note = host::atom_getlong(&argv[0]);
  const int32_t velocity = host::atom_getlong(&argv[1]);
  if (note < 0) {
    host::error("%s", "note values must be positive");
    return;
  }
  const int32_t pitchClass = note % PITCH_CLASSES;
  const bool held = x->heldFlags[pitchClass] == 1.0f;
  if (velocity > 0 && !held)
    hold_pitch_class(x, pitchClass, note / PITCH_CLASSES);
  else if (velocity <= 0 && held)
    release_pitch_class(x, pitchClass);
}

// ---- The block's running values -----------------------------------------------

// The parameters that ramp over a block, by their place in
// ramped_parameters. A new one is a record field, its message and a place
// in both lists.
enum Ramped {
  FEEDBACK,
  TIME_VARIATION,
  GRAIN_SIZE,
  GRAIN_START_VARIATION,
  DENSITY,
  OCTAVE_VARIATION,
  GRAIN_REVERSAL,
  RAMPED_PARAMETERS
};

std::array<tildefx::BlockRamp*, RAMPED_PARAMETERS> ramped_parameters(Grainfall* x) {
  return {&x->feedback,  &x->timeVariation,   &x->grainSize,    &x->grainStartVariation,
          &x->density,   &x->octaveVariation, &x->grainReversal};
}

// What the samples of a block read and move, held in locals while it runs
// (messages arrive between blocks) and stored back at its end: a little
// faster than working on the record's fields. The voices, the random state
// and the held notes stay in the record.
struct Running {
  float sampleRate;
  int32_t mask;
  int32_t bufferLength;
  int32_t writeIndex;
  int32_t sampleCount;
  int32_t lastGrainStart;
  float grainInterval;
  tildefx::Glide time;
  float ramped[RAMPED_PARAMETERS];  // the values in use
};

Running running_of(Grainfall* x) {
  Running r{x->sampleRate, x->indexMask,     x->bufferLength, x->writeIndex, x->sampleCount,
            x->lastGrainStart, x->grainInterval, x->time,         {}};
  const auto ramps = ramped_parameters(x);
  for (int k = 0; k < RAMPED_PARAMETERS; k++) r.ramped[k] = ramps[k]->current;
  return r;
}

void store_running(Grainfall* x, const Running& r) {
  x->writeIndex = r.writeIndex;
  x->sampleCount = r.sampleCount;
  x->lastGrainStart = r.lastGrainStart;
  x->grainInterval = r.grainInterval;
  x->time = r.time;
  const auto ramps = ramped_parameters(x);
  for (int k = 0; k < RAMPED_PARAMETERS; k++) ramps[k]->current = r.ramped[k];
}

// ---- Grains ----------------------------------------------------------------

double next_unipolar(Grainfall* x) {
  return tildefx::random_unipolar(tildefx::random_next(x->randomState));
}

GrainVoice* free_voice(Grainfall* x) {
  for (GrainVoice& voice : x->voices)
    if (voice.active == 0) return &voice;
  return nullptr;
}

// The transposition of a new grain: whole octaves, times the ratio of one
// held pitch class while any is held.
float draw_rate(Grainfall* x, float octaveVariation) {
  const float pick = static_cast<float>(next_unipolar(x) * x->heldCount);
  const int32_t index = pick >= x->heldCount ? x->heldCount - 1 : static_cast<int32_t>(pick);
  const float spread =
      static_cast<float>((2.0 * next_unipolar(x) - 1.0) * octaveVariation);
  const int32_t shift = static_cast<int32_t>(static_cast<double>(x->octave) + spread);
  const float octaves = static_cast<float>(std::pow(2.0, shift));
  if (x->heldCount == 0) return octaves;  // no pitch class: index is -1 and unused
  const int32_t pitchClass = x->heldList[index];
  return static_cast<float>(static_cast<double>(octaves) *
                            x->ratioTable[x->intonation == 1 ? 1 : 0][pitchClass]);
}

// Starts a grain at count t. The five random draws come in a fixed order:
// start delay, pitch class, octave, read point, reversal.
void start_grain(Grainfall* x, Running& r, GrainVoice& voice, int32_t t, float reach, float grainLength) {
  const double sampleRate = r.sampleRate;
  r.lastGrainStart = t;
  voice.active = 1;
  voice.start = static_cast<float>(t + next_unipolar(x) * r.grainInterval * r.ramped[GRAIN_START_VARIATION]);
  voice.length = grainLength;
  voice.end = voice.start + voice.length;
  if (voice.length / sampleRate > 0.1) {
    // A long grain rises over 50 ms, stays flat and falls over its last 50 ms.
    voice.fadeInEnd = static_cast<float>(voice.start + 0.05 * sampleRate);
    voice.fadeOutStart = static_cast<float>(voice.end - 0.05 * sampleRate);
    voice.phaseStep = static_cast<float>(1.0 / (0.1 * sampleRate));
  } else {
    voice.fadeInEnd = 0.0f;
    voice.fadeOutStart = 0.0f;
    voice.phaseStep = 1.0f / voice.length;
  }
  voice.rate = draw_rate(x, r.ramped[OCTAVE_VARIATION]);
  const float timeVariation = static_cast<float>((2.0 * next_unipolar(x) - 1.0) * r.ramped[TIME_VARIATION]);
  // A transposed grain starts rate times as far back as an untransposed one.
  voice.offset = static_cast<float>(static_cast<double>(timeVariation) * reach +
                                    static_cast<double>(reach) * voice.rate);
  voice.position = static_cast<float>(r.writeIndex - static_cast<double>(voice.offset));
  const float reversalDraw = static_cast<float>(next_unipolar(x));
  if (r.ramped[GRAIN_REVERSAL] > reversalDraw) voice.rate = -voice.rate;
}

// The window angle of a voice `elapsed` samples into a raised-cosine half.
double window_angle(double elapsed, float phaseStep) {
  return elapsed * TWO_PI_FLOAT * phaseStep;
}

// A sample read by a voice, under its window (0.5 - 0.5 cos of the window
// angle), rounded to a float. A short grain has one raised cosine over its
// length; a long grain rises, stays at 1 and falls. The fall is timed from
// the exact count t.
float apply_window(const GrainVoice& voice, int32_t t, float tFloat, float sampleRate, float read) {
  if (voice.fadeInEnd == voice.fadeOutStart || tFloat <= voice.fadeInEnd)
    return tildefx::raised_cosine_times(
        window_angle(static_cast<double>(tFloat) - voice.start, voice.phaseStep), read);
  if (voice.fadeOutStart <= tFloat)
    return tildefx::raised_cosine_times(
        window_angle(t - (static_cast<double>(voice.fadeOutStart) + 0.05 * sampleRate), voice.phaseStep),
        read);
  return read;
}

// Brings a read position back into [0, bufferLength]: the position that
// stepping one buffer length at a time reaches (each such step is exact),
// found with one remainder, since the read point of a grain transposed up
// several octaves from a long delay lies many buffer lengths back.
float wrap_position(float position, int32_t bufferLength) {
  const double length = bufferLength;
  if (position > length) {
    const double rest = std::fmod(position, length);
    return rest == 0.0 ? static_cast<float>(length) : static_cast<float>(rest);
  }
  if (position < 0.0f) {
    const double rest = std::fmod(position, length);
    return rest == 0.0 ? 0.0f : static_cast<float>(rest + length);
  }
  return position;
}

// sum + windowed / 2, rounded to a float. For two floats, their sum rounded
// to double and then to float is their sum rounded straight to float (a
// double holds more than twice a float's digits), so the float addition
// gives the same bits, whenever half of windowed is itself a float: always
// but for the tiniest values, which take the double path.
float add_half(float sum, float windowed) {
  if (std::fabs(windowed) >= 0x1p-125f) return sum + 0.5f * windowed;
  return static_cast<float>(sum + 0.5 * windowed);
}

// Plays every sounding voice at the current count (the block's sample i) and
// returns the grain sum. A voice whose start is still ahead waits without
// moving.
float play_voices(GrainVoice* voices, const Running& r, tildefx::HeldWrites& writes, int i) {
  const int32_t t = r.sampleCount;
  const float tFloat = static_cast<float>(t);
  float sum = 0.0f;
  for (int j = 0; j < GRAIN_VOICES; j++) {
    GrainVoice& voice = voices[j];
    if (voice.active == 0 || voice.start > tFloat) continue;
    const tildefx::ReadPlace place = tildefx::place_at(voice.position, r.mask);
    writes.before_read(i, r.writeIndex, place.index);
    const float read = writes.line.read(place);
    const float windowed = apply_window(voice, t, tFloat, r.sampleRate, read);
    sum = add_half(sum, windowed);
    voice.position = wrap_position(voice.position + voice.rate, r.bufferLength);
  }
  return sum;
}

// A grain sounds in the sample in which the count first passes its end and
// is released after it.
void release_finished_voices(GrainVoice* voices, int32_t t) {
  for (int j = 0; j < GRAIN_VOICES; j++)
    if (voices[j].end < static_cast<double>(t)) voices[j].active = 0;
}

// Counts one sample. At 2^31 - 1 the count restarts from 0 and every time on
// the clock moves back with it by 2^31 (exactly, for every grain in flight),
// so grains play on and keep their spacing.
void advance_clock(Running& r, GrainVoice* voices) {
  if (r.sampleCount < INT32_MAX) {
    r.sampleCount += 1;
    return;
  }
  r.sampleCount = 0;
  r.lastGrainStart = static_cast<int32_t>(std::max<int64_t>(r.lastGrainStart - CLOCK_TURN, INT32_MIN));
  for (int j = 0; j < GRAIN_VOICES; j++) {
    GrainVoice& voice = voices[j];
    voice.start = static_cast<float>(voice.start - static_cast<double>(CLOCK_TURN));
    voice.end = static_cast<float>(voice.end - static_cast<double>(CLOCK_TURN));
    voice.fadeInEnd = static_cast<float>(voice.fadeInEnd - static_cast<double>(CLOCK_TURN));
    voice.fadeOutStart = static_cast<float>(voice.fadeOutStart - static_cast<double>(CLOCK_TURN));
  }
}

// ---- Signal ----------------------------------------------------------------

// Samples between grain starts for a grain length and a density. Both
// change only while they ramp or glide, so the division runs again only
// when one of them has changed.
struct GrainInterval {
  float length = NAN;
  float density = NAN;
  float interval = 0.0f;

  float of(float grainLength, float densityNow) {
    if (grainLength != length || densityNow != density) {
      length = grainLength;
      density = densityNow;
      interval = densityNow > 0.0f ? static_cast<float>(grainLength / (densityNow * 8.0)) : NO_MORE_GRAINS;
    }
    return interval;
  }
};

// Starts a grain at the current count when one is due and a voice is free.
void start_grain_if_due(Grainfall* x, Running& r, GrainInterval& interval) {
  const int32_t t = r.sampleCount;
  const float reach = static_cast<float>(static_cast<double>(r.time.current) * r.sampleRate + 2.0);
  // A grain size of 0 (or one so small that its window step would be
  // infinite) becomes a tiny grain; a density of 0 starts no grains.
  float& grainSize = r.ramped[GRAIN_SIZE];
  float& density = r.ramped[DENSITY];
  if (grainSize < FLT_MIN) grainSize = 0.001f;
  if (density <= 0.0f) density = 0.0f;
  const float grainLength = static_cast<float>(grainSize * 0.5 * reach);
  r.grainInterval = interval.of(grainLength, density);
  // With all voices busy lastGrainStart stays, so the grain starts as soon
  // as a voice is free.
  if (t > static_cast<double>(r.lastGrainStart) + r.grainInterval) {
    GrainVoice* voice = free_voice(x);
    if (voice != nullptr) start_grain(x, r, *voice, t, reach, grainLength);
  }
}

void process_block(Grainfall* x, const float* in, float* out, int n) {
  const auto ramps = ramped_parameters(x);
  const float inverseLength = static_cast<float>(1.0 / n);
  float steps[RAMPED_PARAMETERS];
  for (int k = 0; k < RAMPED_PARAMETERS; k++) steps[k] = ramps[k]->step(inverseLength);
  tildefx::WriteStage& stage = x->writeStage;
  stage.dcBlocker.set_rate(x->sampleRate);
  stage.lowpass.set(x->currentFilterFreq, x->currentResonance, x->sampleRate);
  stage.lowpassHeard = !(x->currentFilterFreq > BYPASS_ABOVE_HZ);

  tildefx::HeldWrites writes({x->ringBuffer, x->indexMask}, x->writeIndex, stage, in, out);
  GrainInterval interval;
  Running r = running_of(x);
  tildefx::run_reads_then_writes(writes, n, [&](int i) {
    start_grain_if_due(x, r, interval);
    writes.hold(i, 2.0f * r.ramped[FEEDBACK], play_voices(x->voices, r, writes, i));
    r.writeIndex = (r.writeIndex + 1) & r.mask;

    for (int k = 0; k < RAMPED_PARAMETERS; k++) r.ramped[k] += steps[k];
    release_finished_voices(x->voices, r.sampleCount);
    tildefx::glide_step(r.time);
    advance_clock(r, x->voices);
  });
  store_running(x, r);
  x->writeStage = writes.stage;
}

host::Word* grainfall_perform(host::Word* w) {
  auto* x = reinterpret_cast<Grainfall*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int n = static_cast<int>(w[4]);

  // The filter follows its settings block by block, without a ramp.
  x->currentResonance = x->targetResonance;
  x->currentFilterFreq = x->targetFilterFreq;
  if (n > 0) process_block(x, in, out, n);
  // The ramped parameters end every block on their targets.
  for (tildefx::BlockRamp* ramp : ramped_parameters(x)) ramp->end_block();
  return w + 5;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* grainfall_perform_avx2(host::Word* w) { return grainfall_perform(w); }

// Joins the chain and records the block size and rate. A rate the loop
// cannot run at is refused; the object keeps the rate it had.
void grainfall_dsp(Grainfall* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(
      tildefx::routine_for_processor(grainfall_perform, grainfall_perform_avx2), x, signals);
  const float rate = signals[0]->sampleRate;
  if (!(rate >= LOWEST_RATE && rate <= HIGHEST_RATE)) {
    host::error("%s", RATE_ERROR);
    return;
  }
  if (signals[0]->blockSize != x->vectorSize || rate != x->sampleRate) {
    x->vectorSize = static_cast<float>(signals[0]->blockSize);
    x->sampleRate = rate;
  }
}

void grainfall_assist(Grainfall* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text, {"(signal) Input"}, {"(signal) Output"});
}

}  // namespace

int main() {
  host::setup(&grainfallClass, (host::Method)grainfall_new, (host::Method)grainfall_free,
              sizeof(Grainfall), nullptr, 0);
  host::addmess((host::Method)grainfall_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)grainfall_assist, "assist", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)grainfall_time, grainfall::TIME.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_time_variation, grainfall::TIME_VARIATION.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_feedback, grainfall::FEEDBACK.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_filter_freq, grainfall::FILTER_FREQ.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_resonance, grainfall::RESONANCE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_density, grainfall::DENSITY.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_grain_size, grainfall::GRAIN_SIZE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_grain_start_variation, grainfall::GRAIN_START_VARIATION.name,
                host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_octave, grainfall::OCTAVE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_octave_variation, grainfall::OCTAVE_VARIATION.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_grain_reversal, grainfall::GRAIN_REVERSAL.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)grainfall_12tet, grainfall::INTONATIONS[0], host::ARG_END);
  host::addmess((host::Method)grainfall_just, grainfall::INTONATIONS[1], host::ARG_END);
  host::addmess((host::Method)grainfall_list, "list", host::ARG_LIST, 0);
  host::z_add_signalmethod();
  return 0;
}
