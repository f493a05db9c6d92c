// Benchmarks of every object as users run it: through the stand-in host, at
// 44.1 kHz, block 64, in a light and a heavy setting. Beside them: block
// sizes 1 and 1024 for one object, the cost of creating an instance and the
// memory it holds, `tildefx render` on a one-minute file, and one library
// atan per sample as the reference kernel that every figure is also read
// against (scripts/bench writes the ratios into docs/performance.md).
//
// Counters: ns_per_sample (per stereo frame for sidesplit~) and realtime,
// the number of such streams one core could run at 44.1 kHz.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

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

void set_sample_counters(benchmark::State& state, int64_t samples) {
  const double count = static_cast<double>(samples);
  state.counters["ns_per_sample"] =
      benchmark::Counter(count * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["realtime"] = benchmark::Counter(count / RATE, benchmark::Counter::kIsRate);
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
BENCHMARK(BM_LibraryAtan);

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

// One instance fed the test signal block by block; every inlet gets it.
class Runner {
 public:
  Runner(const Setting& setting, int blockSize) : block_(static_cast<size_t>(blockSize)) {
    standin::seed_rand(1);
    instance_ = standin::Instance::create(setting.object);
    if (!instance_) return;
    instance_->dsp(static_cast<float>(RATE), blockSize);
    for (const std::string& message : setting.messages) instance_->send_text(message);
    standin::take_console_lines();
    for (int i = 0; i < instance_->signal_inlets(); i++) inPointers_.push_back(nullptr);
    outBlocks_.assign(static_cast<size_t>(instance_->signal_outlets()), std::vector<float>(block_));
    for (auto& block : outBlocks_) outPointers_.push_back(block.data());
  }
  bool ok() const { return instance_ != nullptr; }

  void run_block() {
    const std::vector<float>& signal = test_signal();
    if (position_ + block_ > signal.size()) position_ = 0;
    for (auto& pointer : inPointers_) pointer = signal.data() + position_;
    instance_->process(inPointers_.data(), outPointers_.data());
    position_ += block_;
  }
  // Runs long enough for delays to fill and grains to sound.
  void warm_up(double seconds) {
    for (double done = 0.0; done < seconds * RATE; done += static_cast<double>(block_)) run_block();
  }
  const float* output() const { return outBlocks_[0].data(); }

 private:
  std::unique_ptr<standin::Instance> instance_;
  size_t block_;
  size_t position_ = 0;
  std::vector<const float*> inPointers_;
  std::vector<std::vector<float>> outBlocks_;
  std::vector<float*> outPointers_;
};

void BM_Object(benchmark::State& state, const Setting& setting) {
  const int blockSize = static_cast<int>(state.range(0));
  Runner runner(setting, blockSize);
  if (!runner.ok()) {
    state.SkipWithError("cannot create the object");
    return;
  }
  runner.warm_up(1.5);
  for (auto _ : state) {
    runner.run_block();
    benchmark::DoNotOptimize(runner.output());
  }
  set_sample_counters(state, state.iterations() * blockSize);
}

BENCHMARK_CAPTURE(BM_Object, grainfall_light, GRAINFALL_LIGHT)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, grainfall_heavy, GRAINFALL_HEAVY)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, echoloom_light, ECHOLOOM_LIGHT)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, echoloom_heavy, ECHOLOOM_HEAVY)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, echoloom_random, ECHOLOOM_RANDOM)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, tonewarp_light, TONEWARP_LIGHT)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, tonewarp_heavy, TONEWARP_HEAVY)->Arg(1)->Arg(64)->Arg(1024);
BENCHMARK_CAPTURE(BM_Object, levelsway_peak, LEVELSWAY_PEAK)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, levelsway_rms, LEVELSWAY_RMS)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, bitgrind_light, BITGRIND_LIGHT)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, bitgrind_heavy, BITGRIND_HEAVY)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, sidesplit_to_ms, SIDESPLIT_TO_MS)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, sidesplit_to_lr, SIDESPLIT_TO_LR)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, overtoner_light, OVERTONER_LIGHT)->Arg(64);
BENCHMARK_CAPTURE(BM_Object, overtoner_heavy, OVERTONER_HEAVY)->Arg(64);

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

BENCHMARK_CAPTURE(BM_Create, grainfall, "grainfall~")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Create, echoloom, "echoloom~")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Create, tonewarp, "tonewarp~")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Create, levelsway, "levelsway~")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Create, bitgrind, "bitgrind~")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Create, sidesplit, "sidesplit~")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Create, overtoner, "overtoner~")->Unit(benchmark::kMicrosecond);

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

}  // namespace

// The heap figures need every allocation to reach the allocator's counts:
// without its per-thread cache, a block freed earlier and handed out again
// counts as new. The tunable only takes effect at start, so the program
// starts itself once more with it set.
int main(int argc, char** argv) {
  if (std::getenv("GLIBC_TUNABLES") == nullptr) {
    setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
    execv("/proc/self/exe", argv);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
