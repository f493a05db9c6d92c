// Benchmarks of every object as users run it: through the stand-in host, at
// 44.1 kHz, block 64, in a light and a heavy setting. Beside them: block
// sizes 1 and 1024 for one object, the cost of creating an instance and the
// memory it holds, `tildefx render` on a one-minute file, and one library
// atan per sample as the reference kernel that every figure is also read
// against (scripts/bench writes the ratios into docs/performance.md).
//
// Every object also runs on digital silence beside the music, as a track
// falls silent: after the music's warm-up, 20 s of silence let the filters,
// loops and envelopes decay (into the smallest floats where they go there),
// then the silence is timed. A silent track must cost no more than one that
// plays.
//
// Counters: ns_per_sample (per stereo frame for sidesplit~) and realtime,
// the number of such streams one core could run at 44.1 kHz.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "delay_line.h"
#include "markdown_option.h"
#include "object_list.h"
#include "processor_path.h"
#include "standin.h"

namespace {

constexpr double RATE = 44100.0;

// Two seconds of a sweep plus noise, the same on every run.
const std::vector<float>& test_signal() {
  static const std::vector<float> signal = [] {
    std::vector<float> made(2 * 44100);
    uint32_t noise = 777u;
    double phase = 0.0;
    for (size_t i = 0; i < made.size(); i++) {
      phase += (60.0 + 3000.0 * static_cast<double>(i) / made.size()) / RATE;
      noise = noise * 1664525u + 1013904223u;
      const double white = static_cast<double>(noise) / 4294967296.0 * 2.0 - 1.0;
      made[i] = static_cast<float>(0.6 * std::sin(2.0 * M_PI * phase) + 0.1 * white);
    }
    return made;
  }();
  return signal;
}

// Digital silence, as long as the test signal.
const std::vector<float>& silence() {
  static const std::vector<float> zeros(test_signal().size(), 0.0f);
  return zeros;
}

void set_sample_counters(benchmark::State& state, int64_t samples) {
  const double count = static_cast<double>(samples);
  state.counters["ns_per_sample"] =
      benchmark::Counter(count * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["realtime"] = benchmark::Counter(count / RATE, benchmark::Counter::kIsRate);
}

// The best of the repetitions beside their median: on a shared machine the
// slow runs are the ones something else disturbed.
double smallest(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// ---- The reference kernel ----------------------------------------------------

void BM_LibraryAtan(benchmark::State& state) {
  const std::vector<float>& in = test_signal();
  std::vector<float> out(64);
  size_t start = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < 64; i++)
      out[i] = static_cast<float>(std::atan(static_cast<double>(in[start + i])));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    start = (start + 64) % (in.size() - 64);
  }
  set_sample_counters(state, state.iterations() * 64);
}
BENCHMARK(BM_LibraryAtan)->ComputeStatistics("min", smallest);

// The delay lines' saturation as the objects now compute it (an estimate,
// the library only near a rounding boundary), over the same input.
void BM_LineSaturation(benchmark::State& state) {
  const std::vector<float>& in = test_signal();
  std::vector<float> out(64);
  size_t start = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < 64; i++) out[i] = tildefx::saturate_for_line(in[start + i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    start = (start + 64) % (in.size() - 64);
  }
  set_sample_counters(state, state.iterations() * 64);
}
BENCHMARK(BM_LineSaturation)->ComputeStatistics("min", smallest);

// ---- Objects -------------------------------------------------------------------

struct Setting {
  const char* object;
  std::vector<std::string> messages;
};

const Setting GRAINFALL_LIGHT{"grainfall~", {}};
// Eight long grains (0.5 s each, a new one every 1/16 s) sounding at once,
// transposed by a held note and octaves, some reversed.
const Setting GRAINFALL_HEAVY{"grainfall~", {"time 1000", "grainSize 50", "density 200", "feedback 40",
                                             "grainReversal 40", "octaveVariation 1", "67 100"}};
const Setting ECHOLOOM_LIGHT{"echoloom~", {}};
const Setting ECHOLOOM_HEAVY{"echoloom~", {"heads 2", "lfoShape 1", "lfoDepth 40", "lfoFreq 2",
                                           "filterFreq 2500", "resonance 70", "feedback 120"}};
const Setting ECHOLOOM_RANDOM{"echoloom~", {"heads 2", "lfoShape 5", "lfoDepth 40", "lfoFreq 2",
                                            "filterFreq 2500", "resonance 70", "feedback 120"}};
const Setting TONEWARP_LIGHT{"tonewarp~", {}};
const Setting TONEWARP_HEAVY{"tonewarp~", {"pitchFactor 19", "feedback 80"}};  // a fifth up
const Setting LEVELSWAY_PEAK{"levelsway~", {"1: 0.25", "2: -30", "softKnee 0.5"}};
const Setting LEVELSWAY_RMS{"levelsway~", {"1: 0.25", "2: -30", "softKnee 0.5", "rmsDetect 1"}};
const Setting BITGRIND_LIGHT{"bitgrind~", {}};
const Setting BITGRIND_HEAVY{"bitgrind~", {"1: 5.5", "2: 3"}};
const Setting SIDESPLIT_TO_MS{"sidesplit~", {"2: 3", "3: -6", "4: 0"}};
const Setting SIDESPLIT_TO_LR{"sidesplit~", {"2: 3", "3: -6", "4: 1"}};
const Setting OVERTONER_LIGHT{"overtoner~", {}};
const Setting OVERTONER_HEAVY{"overtoner~", {"p1 -1", "p2 -6", "p3 -3", "p4 -12", "p5 -9", "p7 -20"}};

// One instance fed an input block by block; every inlet gets it.
class Runner {
 public:
  Runner(const Setting& setting, int blockSize) : block_(static_cast<size_t>(blockSize)) {
    standin::seed_rand(1);
    instance_ = standin::Instance::create(setting.object);
    if (!instance_) return;
    instance_->dsp(static_cast<float>(RATE), blockSize);
    for (const std::string& message : setting.messages) instance_->send_text(message);
    standin::take_console_lines();
  }
  bool ok() const { return instance_ != nullptr; }

  void run_block() {
    if (position_ + block_ > input_->size()) position_ = 0;
    for (int i = 0; i < instance_->signal_inlets(); i++)
      std::copy_n(input_->data() + position_, block_, instance_->inlet_vector(i));
    instance_->run();
    position_ += block_;
  }
  // Runs long enough for delays to fill and grains to sound.
  void warm_up(double seconds) {
    for (double done = 0.0; done < seconds * RATE; done += static_cast<double>(block_)) run_block();
  }
  const float* output() const { return instance_->outlet_vector(0); }
  void feed(const std::vector<float>& input) { input_ = &input; }

 private:
  std::unique_ptr<standin::Instance> instance_;
  const std::vector<float>* input_ = &test_signal();
  size_t block_;
  size_t position_ = 0;
};

// Times the music, or the silence after it.
void run_object(benchmark::State& state, const Setting& setting, bool silent) {
  const int blockSize = static_cast<int>(state.range(0));
  Runner runner(setting, blockSize);
  if (!runner.ok()) {
    state.SkipWithError("cannot create the object");
    return;
  }
  runner.warm_up(1.5);
  if (silent) {
    runner.feed(silence());
    runner.warm_up(20.0);
  }
  for (auto _ : state) {
    runner.run_block();
    benchmark::DoNotOptimize(runner.output());
  }
  set_sample_counters(state, state.iterations() * blockSize);
}

void BM_Object(benchmark::State& state, const Setting& setting) { run_object(state, setting, false); }
void BM_Silence(benchmark::State& state, const Setting& setting) { run_object(state, setting, true); }

BENCHMARK_CAPTURE(BM_Object, grainfall_light, GRAINFALL_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, grainfall_heavy, GRAINFALL_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, echoloom_light, ECHOLOOM_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, echoloom_heavy, ECHOLOOM_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, echoloom_random, ECHOLOOM_RANDOM)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, tonewarp_light, TONEWARP_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, tonewarp_heavy, TONEWARP_HEAVY)->Arg(1)->Arg(64)->Arg(1024)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, levelsway_peak, LEVELSWAY_PEAK)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, levelsway_rms, LEVELSWAY_RMS)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, bitgrind_light, BITGRIND_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, bitgrind_heavy, BITGRIND_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, sidesplit_to_ms, SIDESPLIT_TO_MS)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, sidesplit_to_lr, SIDESPLIT_TO_LR)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, overtoner_light, OVERTONER_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Object, overtoner_heavy, OVERTONER_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);

// The same settings on digital silence.
BENCHMARK_CAPTURE(BM_Silence, grainfall_light, GRAINFALL_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, grainfall_heavy, GRAINFALL_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, echoloom_light, ECHOLOOM_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, echoloom_heavy, ECHOLOOM_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, echoloom_random, ECHOLOOM_RANDOM)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, tonewarp_light, TONEWARP_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, tonewarp_heavy, TONEWARP_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, levelsway_peak, LEVELSWAY_PEAK)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, levelsway_rms, LEVELSWAY_RMS)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, bitgrind_light, BITGRIND_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, bitgrind_heavy, BITGRIND_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, sidesplit_to_ms, SIDESPLIT_TO_MS)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, sidesplit_to_lr, SIDESPLIT_TO_LR)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, overtoner_light, OVERTONER_LIGHT)->Arg(64)->ComputeStatistics("min", smallest);
BENCHMARK_CAPTURE(BM_Silence, overtoner_heavy, OVERTONER_HEAVY)->Arg(64)->ComputeStatistics("min", smallest);

// ---- Creation and memory -------------------------------------------------------

// Heap bytes in use, large (mapped) blocks included.
size_t heap_in_use() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Creating and freeing one instance. instance_bytes is the heap an instance
// holds while it lives (its record and buffers; tables shared between
// instances are built by the first creation, outside the timed loop).
void BM_Create(benchmark::State& state, const char* object) {
  std::unique_ptr<standin::Instance> first = standin::Instance::create(object);
  if (!first) {
    state.SkipWithError("cannot create the object");
    return;
  }
  const size_t before = heap_in_use();
  std::unique_ptr<standin::Instance> second = standin::Instance::create(object);
  const size_t held = heap_in_use() - before;
  second.reset();
  for (auto _ : state) {
    std::unique_ptr<standin::Instance> instance = standin::Instance::create(object);
    benchmark::DoNotOptimize(instance.get());
  }
  state.counters["instance_bytes"] = static_cast<double>(held);
}

// BM_Create/NAME for every object, without its "~".
void register_creation_benchmarks() {
  for (const char* object : OBJECT_NAMES) {
    const std::string name = object;
    benchmark::RegisterBenchmark(("BM_Create/" + name.substr(0, name.size() - 1)).c_str(), BM_Create, object)
        ->Unit(benchmark::kMicrosecond);
  }
}

// ---- The tool ------------------------------------------------------------------

// A one-minute mono (or stereo) float WAV of the test signal, written once.
std::string one_minute_file(int channels) {
  const std::string path = "/tmp/tildefx-bench-" + std::to_string(channels) + "ch.wav";
  SF_INFO info{};
  info.samplerate = static_cast<int>(RATE);
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return "";
  const std::vector<float>& signal = test_signal();
  std::vector<float> frames(signal.size() * static_cast<size_t>(channels));
  for (size_t i = 0; i < signal.size(); i++)
    for (int c = 0; c < channels; c++) frames[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = signal[i];
  for (int seconds = 0; seconds < 60; seconds += 2)
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(signal.size()));
  sf_close(file);
  return path;
}

// Seconds of audio per second of wall time for one whole `tildefx render`
// run (loading, reading, processing and writing the file).
void BM_Render(benchmark::State& state, const Setting& setting) {
  const std::string input = one_minute_file(std::string(setting.object) == "sidesplit~" ? 2 : 1);
  if (input.empty()) {
    state.SkipWithError("cannot write the input file");
    return;
  }
  std::string command = std::string(TILDEFX_TOOL) + " render --quiet " + setting.object + " " + input +
                        " /tmp/tildefx-bench-out.wav";
  for (const std::string& message : setting.messages) command += " '" + message + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("tildefx render failed");
      return;
    }
  }
  state.counters["realtime"] =
      benchmark::Counter(60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_Render, grainfall_heavy, GRAINFALL_HEAVY)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Render, echoloom_heavy, ECHOLOOM_HEAVY)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Render, tonewarp_heavy, TONEWARP_HEAVY)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Render, sidesplit_to_ms, SIDESPLIT_TO_MS)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The report -----------------------------------------------------------------

// What a row of docs/performance.md says about one benchmark: its goal is
// in library atans (the cost of one library atan per sample in the same
// run), which carries over between machines better than nanoseconds.
struct Row {
  const char* label;
  double goalAtans;  // 0: no goal
};

const std::map<std::string, Row> ROWS = {
    {"BM_LibraryAtan", {"reference: one library `atan` per sample", 0}},
    {"BM_LineSaturation", {"the delay lines' saturation (fast arctangent) per sample", 0}},
    {"BM_Object/grainfall_light/64", {"`grainfall~` defaults", 0}},
    {"BM_Object/grainfall_heavy/64", {"`grainfall~` eight long grains, transposed, some reversed", 5.0}},
    {"BM_Object/echoloom_light/64", {"`echoloom~` defaults (one head)", 0}},
    {"BM_Object/echoloom_heavy/64", {"`echoloom~` two heads, triangle, filter on", 2.5}},
    {"BM_Object/echoloom_random/64", {"`echoloom~` two heads, random shape, filter on", 2.5}},
    {"BM_Object/tonewarp_light/64", {"`tonewarp~` defaults", 0}},
    {"BM_Object/tonewarp_heavy/1", {"`tonewarp~` a fifth up with feedback, block 1", 0}},
    {"BM_Object/tonewarp_heavy/64", {"`tonewarp~` a fifth up with feedback", 2.0}},
    {"BM_Object/tonewarp_heavy/1024", {"`tonewarp~` a fifth up with feedback, block 1024", 0}},
    {"BM_Object/levelsway_peak/64", {"`levelsway~` peak detection", 0.3}},
    {"BM_Object/levelsway_rms/64", {"`levelsway~` RMS detection", 0.5}},
    {"BM_Object/bitgrind_light/64", {"`bitgrind~` defaults (24 bits, no folding)", 0.1}},
    {"BM_Object/bitgrind_heavy/64", {"`bitgrind~` 5.5 bits, folding 3", 0.1}},
    {"BM_Object/sidesplit_to_ms/64", {"`sidesplit~` left/right to mid/side, per stereo frame", 0.02}},
    {"BM_Object/sidesplit_to_lr/64", {"`sidesplit~` mid/side to left/right, per stereo frame", 0.02}},
    {"BM_Object/overtoner_light/64", {"`overtoner~` defaults", 0}},
    {"BM_Object/overtoner_heavy/64", {"`overtoner~` all six partials", 0.09}},
};

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// Which copy of the perform routines ran: the objects' own choice.
const char* routines() {
  if (tildefx::use_avx2()) return "AVX2";
  return std::getenv("TILDEFX_BASELINE") != nullptr ? "baseline (TILDEFX_BASELINE set)" : "baseline (no AVX2 here)";
}

std::string cpu_model() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown processor";
}

// Prints as the console reporter does and keeps each benchmark's median (or
// its one run) for the markdown tables that --markdown FILE writes.
class MarkdownReporter : public benchmark::ConsoleReporter {
 public:
  bool ReportContext(const Context& context) override {
    cpus_ = context.cpu_info.num_cpus;
    megahertz_ = context.cpu_info.cycles_per_second / 1e6;
    load_ = context.cpu_info.load_avg;
    return ConsoleReporter::ReportContext(context);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median" : run.repetitions <= 1)
        results_[run.run_name.str()] = run;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") best_[run.run_name.str()] = run;
    }
  }
  void write(const std::string& path, int repetitions) const;

 private:
  double counter(const std::string& name, const char* key) const {
    const auto found = results_.find(name);
    if (found == results_.end()) return 0.0;
    const auto value = found->second.counters.find(key);
    return value == found->second.counters.end() ? 0.0 : static_cast<double>(value->second);
  }
  double real_time(const std::string& name) const {
    const auto found = results_.find(name);
    return found == results_.end() ? 0.0 : found->second.GetAdjustedRealTime();
  }
  int cpus_ = 0;
  double megahertz_ = 0.0;
  std::vector<double> load_;
  double best(const std::string& name, const char* key) const {
    const auto found = best_.find(name);
    if (found == best_.end()) return counter(name, key);
    const auto value = found->second.counters.find(key);
    return value == found->second.counters.end() ? 0.0 : static_cast<double>(value->second);
  }
  std::map<std::string, Run> results_;
  std::map<std::string, Run> best_;  // the fastest repetition
};

void MarkdownReporter::write(const std::string& path, int repetitions) const {
  std::ofstream file(path);
  const std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  file << "Measured " << date << " on " << cpu_model() << " (" << cpus_ << " cores, "
       << format("%.0f", megahertz_) << " MHz), built by GCC " << __VERSION__
       << " (" << TILDEFX_BUILD_TYPE << " build: -O3 -ffp-contract=off); perform routines: " << routines()
       << "; " << (repetitions > 1 ? std::to_string(repetitions) + " repetitions, medians" : "one run")
       << "; load average " << (load_.empty() ? std::string("unknown") : format("%.2f", load_[0]))
       << " when the run began.\n\n";

  const double atan = counter("BM_LibraryAtan", "ns_per_sample");
  const double bestAtan = best("BM_LibraryAtan", "ns_per_sample");
  file << "| what runs (44.1 kHz, block 64 unless named) | ns per sample | fastest run | in library atans | fastest, in atans | realtime | goal (atans) | met |\n";
  file << "|---|---:|---:|---:|---:|---:|---:|:---:|\n";
  const char* order[] = {"BM_LibraryAtan", "BM_LineSaturation",
                         "BM_Object/sidesplit_to_ms/64", "BM_Object/sidesplit_to_lr/64",
                         "BM_Object/overtoner_light/64", "BM_Object/overtoner_heavy/64",
                         "BM_Object/bitgrind_light/64", "BM_Object/bitgrind_heavy/64",
                         "BM_Object/levelsway_peak/64", "BM_Object/levelsway_rms/64",
                         "BM_Object/tonewarp_light/64", "BM_Object/tonewarp_heavy/64",
                         "BM_Object/tonewarp_heavy/1", "BM_Object/tonewarp_heavy/1024",
                         "BM_Object/echoloom_light/64", "BM_Object/echoloom_heavy/64",
                         "BM_Object/echoloom_random/64", "BM_Object/grainfall_light/64",
                         "BM_Object/grainfall_heavy/64"};
  for (const char* name : order) {
    const Row& row = ROWS.at(name);
    const double ns = counter(name, "ns_per_sample");
    if (ns == 0.0) continue;
    const double atans = atan > 0.0 ? ns / atan : 0.0;
    const double fastest = best(name, "ns_per_sample");
    const double fastestAtans = bestAtan > 0.0 ? fastest / bestAtan : 0.0;
    file << "| " << row.label << " | " << format("%.2f", ns) << " | " << format("%.2f", fastest) << " | "
         << format("%.3f", atans) << " | " << format("%.3f", fastestAtans) << " | "
         << format("%.0f", counter(name, "realtime")) << " | "
         << (row.goalAtans == 0.0 ? std::string() : format("%.2g", row.goalAtans)) << " | "
         << (row.goalAtans == 0.0 ? "" : atans <= row.goalAtans ? "yes" : "no") << " |\n";
  }

  // Silence beside music, setting by setting, in the order of the table above.
  file << "\n| the same on digital silence (block 64) | on music, ns per sample | on silence | fastest on music | fastest on silence | silence / music |\n";
  file << "|---|---:|---:|---:|---:|---:|\n";
  for (const char* name : order) {
    const std::string music = name;
    const std::string prefix = "BM_Object/";
    if (music.size() < 3 || music.compare(music.size() - 3, 3, "/64") != 0) continue;
    const std::string quiet = "BM_Silence/" + music.substr(prefix.size());
    const double onMusic = counter(music, "ns_per_sample");
    const double onSilence = counter(quiet, "ns_per_sample");
    if (onMusic == 0.0 || onSilence == 0.0) continue;
    file << "| " << ROWS.at(name).label << " | " << format("%.2f", onMusic) << " | " << format("%.2f", onSilence)
         << " | " << format("%.2f", best(music, "ns_per_sample")) << " | "
         << format("%.2f", best(quiet, "ns_per_sample")) << " | " << format("%.2f", onSilence / onMusic) << " |\n";
  }

  file << "\n| object | creating one instance (µs) | in library atans | heap an instance holds |\n";
  file << "|---|---:|---:|---:|\n";
  for (const std::string object : OBJECT_NAMES) {
    const std::string name = "BM_Create/" + object.substr(0, object.size() - 1);
    const double micros = real_time(name);
    if (micros == 0.0) continue;
    const double bytes = counter(name, "instance_bytes");
    file << "| `" << object << "` | " << format("%.2f", micros) << " | "
         << format("%.0f", atan > 0.0 ? micros * 1000.0 / atan : 0.0) << " | "
         << (bytes >= 1048576.0 ? format("%.2f MiB", bytes / 1048576.0) : format("%.0f bytes", bytes)) << " |\n";
  }

  file << "\n| `tildefx render` of a one-minute 44.1 kHz file | wall time (ms) | realtime |\n";
  file << "|---|---:|---:|\n";
  for (const char* setting : {"grainfall_heavy", "echoloom_heavy", "tonewarp_heavy", "sidesplit_to_ms"}) {
    const std::string name = std::string("BM_Render/") + setting + "/real_time";
    const double millis = real_time(name);
    if (millis == 0.0) continue;
    file << "| " << setting << " | " << format("%.0f", millis) << " | " << format("%.0f", counter(name, "realtime")) << " |\n";
  }
}

}  // namespace

// The heap figures need every allocation to reach the allocator's counts:
// without its per-thread cache, a block freed earlier and handed out again
// counts as new. The tunable only takes effect at start, so the program
// starts itself once more with it set.
//
// --markdown FILE writes the tables of docs/performance.md to FILE.
int main(int argc, char** argv) {
  if (std::getenv("GLIBC_TUNABLES") == nullptr) {
    setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
    execv("/proc/self/exe", argv);
  }
  const std::string markdown = take_markdown_option(argc, argv);
  int repetitions = 1;
  for (int i = 1; i < argc; i++)
    if (std::string(argv[i]).rfind("--benchmark_repetitions=", 0) == 0)
      repetitions = std::atoi(argv[i] + std::string("--benchmark_repetitions=").size());
  register_creation_benchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  MarkdownReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (!markdown.empty()) reporter.write(markdown, repetitions);
  return 0;
}
