// levelsway~: a compressor/expander. The input's level, measured every sample
// (peak, or RMS over the last 64 samples), becomes an envelope that may rise
// by 20 dB per attack time and fall by 20 dB per release time; the envelope
// is looked up in a table of 8192 gains that holds the gain curve (ratio,
// threshold, soft knee), and the gain is smoothed and applied with the
// make-up gain.
#include <algorithm>
#include <cmath>

#include "float_rounding.h"
#include "host.h"
#include "levelsway.h"
#include "object.h"
#include "parameters.h"
#include "processor_path.h"
#include "silence.h"

namespace {

host::Class* levelswayClass;

const int GAIN_TABLE_SIZE = 8192;
const int SQRT_TABLE_SIZE = 65536;
const int RMS_WINDOW_LENGTH = 64;
const int LAST_SQRT_INDEX = SQRT_TABLE_SIZE - 1;
const int LAST_GAIN_INDEX = GAIN_TABLE_SIZE - 1;

// The dB factor and the release decay are the single-precision 0.05 and 0.1
// widened to double: 60 dB of make-up is 1000.0001, not 1000.
const double DB_FACTOR = 0.05f;
const double TENTH = 0.1f;
// The envelope's bounds settle no lower than this after a quiet sample.
const float LEVEL_FLOOR = 0.00001f;
// One square of 64 already fills the RMS detector's range (64 squares of
// 1.0). Larger squares are held at 64, so that an infinite or NaN sample
// cannot poison the running sum for good, nor a huge one wipe out the
// small squares it is added to.
const float RMS_SQUARE_LIMIT = 64.0f;

const char* const RATE_ERROR = "the sample rate must be a positive number; the previous rate is kept.";

// A level in dB as a linear gain (with the single-precision dB factor).
float gain_from_db(double db) {
  return static_cast<float>(std::pow(10.0, db * DB_FACTOR));
}

double db_of(float gain) {
  return 20.0 * std::log10(static_cast<double>(gain));
}

void compute_attack_coef(Levelsway* x) {
  x->attackCoef = static_cast<float>(
      std::pow(10.0, 1.0 / (static_cast<double>(x->attackTime) * x->sampleRate)));
}

void compute_release_coef(Levelsway* x) {
  x->releaseCoef = static_cast<float>(
      std::pow(TENTH, 1.0 / (static_cast<double>(x->releaseTime) * x->sampleRate)));
}

// ---- The gain curve ------------------------------------------------------

// The gain for level a (b in dB) when the ratio compresses above the
// threshold. Inside the knee the full gain is scaled by the position in it.
float compression_entry(const Levelsway* x, float a, double b) {
  if (a <= x->kneeLow) return 1.0f;
  const double fullGain = (x->thresholdDb - b) * (1.0 - x->ratio);
  if (a > x->kneeHigh) return gain_from_db(static_cast<float>(fullGain));
  const double position = (b - x->kneeLowDb) / (x->kneeWidth * 12.0);
  return gain_from_db(static_cast<float>(position * fullGain));
}

// The gain for level a (b in dB) when the ratio expands below the threshold.
float expansion_entry(const Levelsway* x, float a, double b) {
  if (a > x->kneeHigh) return 1.0f;
  const double fullGain = (b - x->thresholdDb) * (x->ratio - 1.0);
  if (a <= x->kneeLow) return gain_from_db(static_cast<float>(fullGain));
  const double position = (db_of(x->kneeHigh) - b) / (x->kneeWidth * 12.0);
  return gain_from_db(static_cast<float>(position * fullGain));
}

// Entry i holds the gain for the level (i + 1) / 8192.
void build_gain_table(Levelsway* x) {
  for (int i = 0; i < GAIN_TABLE_SIZE; i++) {
    const float a = static_cast<float>((i + 1) / 8192.0);
    const float b = static_cast<float>(20.0 * std::log10(static_cast<double>(a)));
    x->gainTable[i] = x->ratio <= 1.0f ? compression_entry(x, a, b) : expansion_entry(x, a, b);
  }
}

// The knee runs from 6 * kneeWidth dB below the threshold to as far above it.
void set_knee_edges(Levelsway* x) {
  const double k = x->kneeWidth;
  x->kneeHigh = gain_from_db(6.0 * k + x->thresholdDb);
  x->kneeLow = gain_from_db(db_of(x->kneeHigh) - 12.0 * k);
}

// After a threshold or knee change: the knee edges, the threshold as its
// single-precision linear value gives it back, and the gain curve.
void update_threshold(Levelsway* x) {
  const float threshold = gain_from_db(x->thresholdDb);
  if (x->kneeWidth == 0.0f) {
    x->kneeHigh = threshold;
    x->kneeLow = threshold;
  } else {
    set_knee_edges(x);
  }
  x->thresholdDb = static_cast<float>(db_of(threshold));
  x->kneeLowDb = static_cast<float>(db_of(x->kneeLow));
  build_gain_table(x);
}

// ---- Life of an instance -------------------------------------------------

bool fill_sqrt_table(float* table) {
  for (int i = 0; i < SQRT_TABLE_SIZE; i++)
    table[i] = static_cast<float>(std::sqrt(static_cast<double>(i)) * 0.00390625);
  return true;
}

// sqrt(i) / 256 for i = 0..65535. It never changes, so every instance of
// the process reads the same one, filled by the first creation. The language
// runs the initialiser of a function's static once, and makes any other
// thread that calls meanwhile wait for it.
float* shared_sqrt_table() {
  static float table[SQRT_TABLE_SIZE];
  static const bool filled = fill_sqrt_table(table);
  (void)filled;
  return table;
}

// The square-root table is shared and stays.
void levelsway_free(Levelsway* x) {
  host::z_dsp_free(x);
  tildefx::release_sysmem_block(x->gainTable);
  tildefx::release_sysmem_block(x->rmsWindow);
}

float* new_table(int entries) {
  return static_cast<float*>(host::sysmem_newptr(entries * static_cast<long>(sizeof(float))));
}

void* levelsway_new() {
  auto* x = static_cast<Levelsway*>(host::newobject(levelswayClass));
  if (x == nullptr) return nullptr;
  host::z_dsp_setup(x, 1);
  host::floatin(x, 2);
  host::floatin(x, 1);
  host::outlet_new(x, "signal");
  x->sampleRate = 44100.0f;
  x->releaseBound = 0.0f;
  x->attackBound = 0.0f;
  x->rmsWindowLength = RMS_WINDOW_LENGTH;
  x->rmsScale = 1023.984375f;  // 65535 / 64
  x->rmsIndex = 0;
  x->rmsSum = 0.0f;

  x->rmsWindow = new_table(RMS_WINDOW_LENGTH);
  x->gainTable = new_table(GAIN_TABLE_SIZE);
  if (x->rmsWindow == nullptr || x->gainTable == nullptr) {
    levelsway_free(x);
    return nullptr;
  }
  std::fill(x->rmsWindow, x->rmsWindow + RMS_WINDOW_LENGTH, 0.0f);
  x->sqrtTable = shared_sqrt_table();

  x->detectMode = 0;
  x->ratio = static_cast<float>(13.0 / 14.0);
  x->smoothedGain = 1.0f;
  x->thresholdDb = -40.0f;
  x->attackTime = 0.02f;
  compute_attack_coef(x);
  x->releaseTime = 0.5f;
  compute_release_coef(x);
  x->kneeWidth = 0.0f;
  x->makeup = 1.0f;
  // Computed as for a knee of width 0, the edges land one single-precision
  // step apart around -40 dB, with no table level between them.
  set_knee_edges(x);
  x->kneeLowDb = static_cast<float>(db_of(x->kneeLow));
  build_gain_table(x);
  return x;
}

// ---- Messages ------------------------------------------------------------

// A ratio out of range takes the nearer bound; a NaN has none and is refused.
void levelsway_ratio(Levelsway* x, double value) {
  if (!tildefx::check_range(value, levelsway::RATIO)) {
    if (std::isnan(value)) return;
    value = value > levelsway::RATIO.maximum ? levelsway::RATIO.maximum : levelsway::RATIO.minimum;
  }
  x->ratio = static_cast<float>(value);
  build_gain_table(x);
}

// The knee and the curve are recomputed even after a refused value.
void levelsway_threshold(Levelsway* x, double db) {
  if (tildefx::check_range(db, levelsway::THRESHOLD)) x->thresholdDb = static_cast<float>(db);
  update_threshold(x);
}

void levelsway_attack(Levelsway* x, double ms) {
  if (tildefx::check_range(ms, levelsway::ATTACK)) x->attackTime = static_cast<float>(ms / 1000.0);
  compute_attack_coef(x);
}

void levelsway_release(Levelsway* x, double ms) {
  if (tildefx::check_range(ms, levelsway::RELEASE)) x->releaseTime = static_cast<float>(ms / 1000.0);
  compute_release_coef(x);
}

void levelsway_soft_knee(Levelsway* x, double width) {
  if (tildefx::check_range(width, levelsway::SOFT_KNEE)) x->kneeWidth = static_cast<float>(width);
  update_threshold(x);
}

void levelsway_makeup_gain(Levelsway* x, double db) {
  if (tildefx::check_range(db, levelsway::MAKEUP_GAIN)) x->makeup = gain_from_db(db);
}

// Only exactly 1 selects RMS; a value outside 0 to 1 is ignored without an
// error, but the mode in force is always reported.
void levelsway_rms_detect(Levelsway* x, double value) {
  if (tildefx::check_range(value, levelsway::RMS_DETECT)) x->detectMode = static_cast<int32_t>(value);
  host::post("%s", x->detectMode == 1 ? "RMS Level Detect Mode." : "Peak Level Detect Mode.");
}

void levelsway_clear(Levelsway* /*x*/) {}

// ---- The signal chain ----------------------------------------------------

// The RMS detector's running state, held in locals while a block runs.
struct RmsDetector {
  float* window;
  const float* sqrtTable;
  int32_t length;
  float scale;
  float sum;
  int32_t index;
};

// The root of the mean of the last 64 squares, read from the square-root
// table: a mean square below 1/65535 reads as 0.
float rms_level(RmsDetector& rms, float s) {
  if (rms.index >= rms.length || rms.index < 0) rms.index = 0;
  float square = static_cast<float>(static_cast<double>(s) * s);
  if (!(square <= RMS_SQUARE_LIMIT)) square = RMS_SQUARE_LIMIT;
  rms.sum = static_cast<float>((static_cast<double>(rms.sum) - rms.window[rms.index]) + square);
  rms.window[rms.index] = square;
  rms.index += 1;
  const double scaled = rms.scale * static_cast<double>(rms.sum);
  int j = 0;
  if (scaled >= LAST_SQRT_INDEX) {
    j = LAST_SQRT_INDEX;
  } else if (scaled > 0.0) {
    j = static_cast<int>(scaled);
  }
  return rms.sqrtTable[j];
}

// The gain for an envelope between 0 and 1, interpolated between entries.
template <typename Round, typename Value>
double table_gain(const float* gainTable, Value envelope, Round round) {
  const Value position = round(envelope * 8191.0);
  const int j = static_cast<int>(position);
  if (j >= LAST_GAIN_INDEX) return gainTable[LAST_GAIN_INDEX];
  const Value fraction = position - j;  // exact
  return gainTable[j] + fraction * (static_cast<double>(gainTable[j + 1]) - gainTable[j]);
}

// The detector's bounds and the smoothed gain, held in locals while a block
// runs (no message arrives during a block, so the settings are read once).
// The bounds are floats, held in doubles and rounded by the block's
// rounding (float_rounding.h): after some 20 s of silence they decay below
// the smallest normal float and stay there, and a block that starts there
// rounds without forming denormal floats, which doubled a sample's cost.
struct Envelope {
  double falling;  // the bounds where the last sample left them (floats)
  double rising;
  float smoothedGain;
};

template <typename Round>
void apply_envelope(const Levelsway* x, RmsDetector& detector, Envelope& e, const float* in, float* out, int n,
                    Round round) {
  using Value = decltype(round(0.0));  // a float, or a float's value in a double
  const double attackCoef = x->attackCoef;
  const double releaseCoef = x->releaseCoef;
  const double makeup = x->makeup;
  const bool rmsMode = x->detectMode == 1;
  const float* gainTable = x->gainTable;
  Value falling = static_cast<Value>(e.falling);
  Value rising = static_cast<Value>(e.rising);
  float smoothedGain = e.smoothedGain;
  RmsDetector rms = detector;

  for (int i = 0; i < n; i++) {
    const Value releaseBound = round(falling * releaseCoef);
    const Value attackBound = round(rising * attackCoef);
    const float s = in[i];
    float level = rmsMode ? rms_level(rms, s) : std::fabs(s);
    if (!(level <= 1.0f)) level = 1.0f;  // a NaN sample reads as full scale

    // Below the falling bound the envelope takes it, above the rising bound
    // that one; in between it follows the level. Either way both bounds then
    // meet: on the bound taken, or on the level (no lower than LEVEL_FLOOR).
    // Written as selections, without branches that the level would
    // mispredict.
    const bool below = level < releaseBound;
    const bool above = !below && level > attackBound;
    const Value envelope = below ? releaseBound : above ? attackBound : level;
    falling = below ? releaseBound : above ? attackBound : std::max(level, LEVEL_FLOOR);
    rising = falling;

    const double gain = table_gain(gainTable, envelope, round);
    smoothedGain = static_cast<float>(gain * 0.5 + smoothedGain * 0.5);
    out[i] = static_cast<float>((s * static_cast<double>(smoothedGain)) * makeup);
  }
  e = {falling, rising, smoothedGain};
  detector = rms;
}

// The samples of a run with the rounding its start needs.
void follow(const Levelsway* x, RmsDetector& rms, Envelope& e, const float* in, float* out, int n) {
  if (tildefx::below_normal_floats(e.falling) || tildefx::below_normal_floats(e.rising))
    apply_envelope(x, rms, e, in, out, n, tildefx::TinyRounding{});
  else
    apply_envelope(x, rms, e, in, out, n, tildefx::FloatRounding{});
}

// Silence that no longer moves the detector: when one zero sample has left
// the bounds, the smoothed gain and the RMS sum as they were, and the RMS
// window holds only zeros, every further zero sample leaves them so too.
bool settled(const Levelsway* x, const Envelope& before, const Envelope& after, float sumBefore,
             const RmsDetector& rms) {
  if (after.falling != before.falling || after.rising != before.rising || after.smoothedGain != before.smoothedGain)
    return false;
  if (x->detectMode != 1) return true;
  return rms.sum == sumBefore && tildefx::all_zero(rms.window, rms.length);
}

// A block of silence: its first sample as any other; if that settles the
// detector, the rest the short way: each output is the sample times the
// gain, and the RMS window's index moves on as every sample moves it.
void follow_silence(const Levelsway* x, RmsDetector& rms, Envelope& e, const float* in, float* out, int n) {
  const Envelope before = e;
  const float sumBefore = rms.sum;
  follow(x, rms, e, in, out, 1);
  if (!settled(x, before, e, sumBefore, rms)) {
    follow(x, rms, e, in + 1, out + 1, n - 1);
    return;
  }
  const double makeup = x->makeup;
  for (int i = 1; i < n; i++) out[i] = static_cast<float>((in[i] * static_cast<double>(e.smoothedGain)) * makeup);
  if (x->detectMode != 1) return;
  for (int i = 1; i < n; i++) {
    if (rms.index >= rms.length || rms.index < 0) rms.index = 0;
    rms.index += 1;
  }
}

host::Word* levelsway_perform(host::Word* w) {
  auto* x = reinterpret_cast<Levelsway*>(w[1]);
  const float* in = reinterpret_cast<const float*>(w[2]);
  float* out = reinterpret_cast<float*>(w[3]);
  const int n = static_cast<int>(w[4]);
  RmsDetector rms{x->rmsWindow, x->sqrtTable, x->rmsWindowLength, x->rmsScale, x->rmsSum, x->rmsIndex};
  Envelope envelope{x->releaseBound, x->attackBound, x->smoothedGain};
  // Music rarely has a zero at both ends of a block: only then is the whole
  // block looked at.
  if (n > 1 && in[0] == 0.0f && in[n - 1] == 0.0f && tildefx::all_zero(in, n))
    follow_silence(x, rms, envelope, in, out, n);
  else
    follow(x, rms, envelope, in, out, n);

  x->releaseBound = static_cast<float>(envelope.falling);
  x->attackBound = static_cast<float>(envelope.rising);
  x->smoothedGain = envelope.smoothedGain;
  x->rmsSum = rms.sum;
  x->rmsIndex = rms.index;
  return w + 5;
}

// The same routine, compiled for processors with AVX2.
TILDEFX_AVX2_ROUTINE host::Word* levelsway_perform_avx2(host::Word* w) { return levelsway_perform(w); }

// The attack and release times hold at whatever rate the host runs: a new
// rate recomputes both coefficients from the stored times.
void levelsway_dsp(Levelsway* x, host::Signal** signals, short* /*connections*/) {
  tildefx::add_perform_one_in_one_out(
      tildefx::routine_for_processor(levelsway_perform, levelsway_perform_avx2), x, signals);
  const float rate = signals[0]->sampleRate;
  if (!(rate > 0.0f) || !std::isfinite(rate)) {
    host::error("%s", RATE_ERROR);
    return;
  }
  if (rate == x->sampleRate) return;
  x->sampleRate = rate;
  compute_attack_coef(x);
  compute_release_coef(x);
}

void levelsway_assist(Levelsway* /*x*/, void* /*box*/, int kind, int index, char* text) {
  tildefx::write_assist(kind, index, text,
                        {"(signal) Input", levelsway::RATIO.assist, levelsway::THRESHOLD.assist},
                        {"(signal) Output"});
}

}  // namespace

int main() {
  host::setup(&levelswayClass, (host::Method)levelsway_new, (host::Method)levelsway_free,
              sizeof(Levelsway), nullptr, 0);
  host::addmess((host::Method)levelsway_dsp, "dsp", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)levelsway_assist, "assist", host::ARG_PRIVATE, 0);
  host::addmess((host::Method)levelsway_clear, "clear", host::ARG_END);
  host::addftx((host::Method)levelsway_ratio, levelsway::RATIO.inlet);
  host::addftx((host::Method)levelsway_threshold, levelsway::THRESHOLD.inlet);
  host::addmess((host::Method)levelsway_attack, levelsway::ATTACK.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)levelsway_release, levelsway::RELEASE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)levelsway_soft_knee, levelsway::SOFT_KNEE.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)levelsway_makeup_gain, levelsway::MAKEUP_GAIN.name, host::ARG_FLOAT, 0);
  host::addmess((host::Method)levelsway_rms_detect, levelsway::RMS_DETECT.name, host::ARG_FLOAT, 0);
  host::z_add_signalmethod();
  return 0;
}
