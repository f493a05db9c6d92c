// Runs too long for the test command (scripts/long-runs runs them):
//   clock      grainfall~ past the 2^31-sample clock, still starting grains
//   feedback   echoloom~ and tonewarp~ at feedback 200 % for 10^8 samples
//              each, staying finite and bounded
//   instances  10^4 instances of every object created and freed, memory flat
//              (the sanitizer build's leak check runs at exit)
// Each prints what it measured and exits non-zero on a failure.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "grainfall/grainfall.h"
#include "object_list.h"
#include "standin.h"

namespace {

const int BLOCK = 4096;

bool failed = false;

void check(bool condition, const std::string& what) {
  if (condition) return;
  std::printf("FAILED: %s\n", what.c_str());
  failed = true;
}

std::unique_ptr<standin::Instance> make(const std::string& object, const std::vector<std::string>& messages) {
  std::unique_ptr<standin::Instance> instance = standin::Instance::create(object);
  if (!instance) {
    std::printf("FAILED: cannot create %s\n", object.c_str());
    std::exit(1);
  }
  for (const std::string& message : messages) instance->send_text(message);
  instance->dsp(44100.0f, BLOCK);
  for (const auto& line : standin::take_console_lines())
    if (line.isError) check(false, object + ": " + line.text);
  return instance;
}

// A loud sine with a burst of full-scale noise now and then.
void fill_input(std::vector<float>& block, int64_t start) {
  for (size_t i = 0; i < block.size(); i++) {
    const int64_t t = start + static_cast<int64_t>(i);
    block[i] = static_cast<float>(std::sin(0.031 * static_cast<double>(t % 1000000)));
    if (t % 441000 < 4410) block[i] = (t * 7919 % 2001) / 1000.0f - 1.0f;
  }
}

struct Extremes {
  float peak = 0.0f;
  bool allFinite = true;
  bool soundsAtEnd = false;
};

// Runs samples through a one-in, one-out instance; the last second must sound.
Extremes run_for(standin::Instance& instance, int64_t samples, int64_t from = 0) {
  std::vector<float> in(BLOCK);
  Extremes seen;
  for (int64_t start = from; start < from + samples; start += BLOCK) {
    fill_input(in, start);
    std::copy(in.begin(), in.end(), instance.inlet_vector(0));
    instance.run();
    const float* out = instance.outlet_vector(0);
    for (int i = 0; i < BLOCK; i++) {
      const float sample = out[i];
      seen.allFinite = seen.allFinite && std::isfinite(sample);
      seen.peak = std::max(seen.peak, std::fabs(sample));
      if (start > from + samples - 44100 && sample != 0.0f) seen.soundsAtEnd = true;
    }
  }
  return seen;
}

double seconds_since(std::chrono::steady_clock::time_point started) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void grainfall_clock() {
  const auto started = std::chrono::steady_clock::now();
  auto instance = make("grainfall~", {"time 200", "density 200", "grainSize 50", "feedback 50"});
  const int64_t samples = (int64_t{1} << 31) + 44100 * 60;
  int64_t done = 0;
  int32_t highest = 0;
  while (done < samples) {
    const int64_t part = std::min<int64_t>(samples - done, int64_t{BLOCK} * 8192);
    const Extremes seen = run_for(*instance, part, done);
    done += part;
    check(seen.allFinite, "grainfall~ output finite");
    const auto& record = *static_cast<const Grainfall*>(instance->record());
    highest = std::max(highest, record.sampleCount);
  }
  const auto& record = *static_cast<const Grainfall*>(instance->record());
  const Extremes last = run_for(*instance, 44100 * 2, done);
  check(last.soundsAtEnd, "grainfall~ still starts grains after the clock wrapped");
  check(record.sampleCount < highest, "grainfall~ clock wrapped");
  std::printf("clock: grainfall~ ran %lld samples (clock now %d, highest %d), output finite and sounding; %.0f s\n",
              static_cast<long long>(done), record.sampleCount, highest, seconds_since(started));
}

void feedback_loops() {
  const std::vector<std::pair<std::string, std::vector<std::string>>> settings = {
      {"echoloom~", {"feedback 200", "time 300"}},
      {"echoloom~", {"feedback 200", "heads 2", "lfoDepth 100", "lfoShape 5", "filterFreq 500", "resonance 100"}},
      {"tonewarp~", {"feedback 200", "pitchFactor 19"}},
      {"tonewarp~", {"feedback 200", "octave -2", "loopDepth 100", "time 2000"}},
  };
  for (const auto& [object, messages] : settings) {
    const auto started = std::chrono::steady_clock::now();
    auto instance = make(object, messages);
    const Extremes seen = run_for(*instance, 100000000);
    check(seen.allFinite, object + " output finite");
    check(seen.peak < 2.0f, object + " output within 2.0");
    std::string joined;
    for (const std::string& message : messages) joined += " \"" + message + "\"";
    std::printf("feedback: %s%s: 10^8 samples, peak %.4f, all finite; %.0f s\n", object.c_str(), joined.c_str(),
                static_cast<double>(seen.peak), seconds_since(started));
  }
}

long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

void many_instances() {
  const int COUNT = 10000;
  for (const char* object : OBJECT_NAMES) {
    const auto started = std::chrono::steady_clock::now();
    long afterWarmUp = 0;
    for (int k = 0; k < COUNT; k++) {
      auto instance = make(object, {});
      if (k % 100 == 0) {
        for (int i = 0; i < instance->signal_inlets(); i++) std::fill_n(instance->inlet_vector(i), BLOCK, 0.5f);
        instance->run();
      }
      instance.reset();
      if (k == 99) afterWarmUp = resident_kib();
    }
    const long growth = resident_kib() - afterWarmUp;
    check(growth < 16 * 1024, std::string(object) + ": memory grew by " + std::to_string(growth) + " KiB");
    std::printf("instances: %d of %s created and freed, memory grew %ld KiB after the first 100; %.0f s\n", COUNT,
                object, growth, seconds_since(started));
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int k = 1; k < argc; k++) {
    const std::string part = argv[k];
    if (part == "clock") grainfall_clock();
    else if (part == "feedback") feedback_loops();
    else if (part == "instances") many_instances();
    else {
      std::printf("usage: long_runs [clock] [feedback] [instances]\n");
      return 2;
    }
    std::fflush(stdout);
  }
  return failed ? 1 : 0;
}
