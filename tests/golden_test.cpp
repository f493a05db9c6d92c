// Bit-identity guard: every object, in several settings, rendered through the
// stand-in host over a generated input, must give exactly the output bits it
// gave when tests/golden/hashes.txt was written. Each run is reduced to its
// sample count and an FNV-1a 64 hash of the output float words.
//
// After a change that is meant to alter an output, rewrite the file with
//   TILDEFX_GOLDEN_REGENERATE=1 build/bin/golden_test
// and say in the commit why the output changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "standin.h"

namespace {

// ---- The input -------------------------------------------------------------

constexpr int RATE = 44100;
constexpr size_t INPUT_LENGTH = 3 * RATE + 77;  // ends in a partial block

// A rising sweep from about 40 Hz to 4 kHz plus white noise from a seeded LCG,
// made with +, -, * and / only (a parabola in place of the sine), so the
// input bits are the same on every machine. channel 1 uses another seed and a
// falling sweep. It fades in from an exact zero: levelsway~'s envelope only
// starts to follow the level after a silent sample.
std::vector<float> test_input(int channel) {
  std::vector<float> signal(INPUT_LENGTH);
  uint32_t noise = 12345u + 977u * static_cast<uint32_t>(channel);
  double phase = 0.0;  // in cycles, 0..1
  for (size_t i = 0; i < INPUT_LENGTH; i++) {
    const double progress = static_cast<double>(i) / INPUT_LENGTH;
    const double hz = channel == 0 ? 40.0 + 3960.0 * progress * progress
                                   : 4000.0 - 3960.0 * progress;
    phase += hz / RATE;
    if (phase >= 1.0) phase -= 1.0;
    const double p = 2.0 * phase - 1.0;                  // -1..1
    const double parabola = 4.0 * p * (1.0 - (p < 0 ? -p : p));  // sine-like, -1..1
    noise = noise * 1664525u + 1013904223u;
    const double white = static_cast<double>(noise) / 4294967296.0 * 2.0 - 1.0;
    const double fadeIn = i < 2000 ? static_cast<double>(i) / 2000.0 : 1.0;
    signal[i] = static_cast<float>(fadeIn * (0.55 * parabola + 0.12 * white));
  }
  return signal;
}

// ---- Scenarios -------------------------------------------------------------

// A message delivered before the first block that starts at or after
// `sample`; "dsp RATE BLOCK" rebuilds the chain instead.
struct Event {
  size_t sample;
  std::string message;
};

struct Scenario {
  std::string name;  // unique: the key in the hash file
  std::string object;
  int block;
  std::vector<std::string> messages;  // before the first block
  std::vector<Event> events;
  bool seedRand = false;  // restart the host's rand with 1 before creation
};

// The heavy settings of each object (those the benchmarks use), and a few
// moves to deliver while it runs.
const std::map<std::string, std::vector<std::string>> HEAVY = {
    {"grainfall~", {"time 1000", "grainSize 50", "density 200", "feedback 40", "grainReversal 40",
                    "octaveVariation 1", "timeVariation 20", "grainStartVariation 30",
                    "filterFreq 3000", "resonance 60", "67 100", "72 90"}},
    {"echoloom~", {"heads 2", "lfoShape 1", "lfoDepth 40", "lfoFreq 2", "filterFreq 2500",
                   "resonance 70", "feedback 120", "time 300"}},
    {"tonewarp~", {"pitchFactor 19", "feedback 80", "time 200", "loopDepth 40"}},
    {"levelsway~", {"1: 0.25", "2: -30", "softKnee 0.5", "attack 5", "release 300", "makeupGain 9"}},
    {"bitgrind~", {"1: 5.5", "2: 3"}},
    {"sidesplit~", {"2: 4.5", "3: -7", "4: 0"}},
    {"overtoner~", {"p1 -1", "p2 -6", "p3 -3", "p4 -12", "p5 -9", "p7 -20"}},
};

const std::map<std::string, std::vector<Event>> MOVES = {
    {"grainfall~", {{20000, "time 250"}, {30000, "12tet"}, {40000, "67 0"}, {50000, "octave 1"},
                    {60000, "grainSize 10"}, {70000, "density 60"}, {80000, "feedback 150"},
                    {90000, "60 100"}, {100000, "grainReversal 100"}}},
    {"echoloom~", {{15000, "time 40"}, {30000, "lfoShape 3"}, {45000, "heads 1"}, {50000, "freeze 1"},
                   {60000, "freeze 0"}, {70000, "feedbackSwitch 0"}, {80000, "lfoDepth 90"},
                   {90000, "filterFreq 19500"}, {100000, "lfoPhase 90"}, {110000, "heads 2"}}},
    {"tonewarp~", {{15000, "time 35"}, {30000, "octave -1"}, {45000, "pitchFactor 3"},
                   {60000, "loopDepth 100"}, {80000, "feedback 190"}, {100000, "octave 2"}}},
    {"levelsway~", {{20000, "2: -20"}, {40000, "rmsDetect 1"}, {60000, "1: 4"}, {70000, "2: -50"}, {80000, "rmsDetect 0"},
                    {100000, "softKnee 0"}, {110000, "attack 1"}}},
    {"bitgrind~", {{20000, "1: 1.25"}, {40000, "2: 0"}, {60000, "1: 23.9"}, {80000, "2: 8"},
                   {100000, "1: 12"}}},
    {"sidesplit~", {{20000, "4: 1"}, {40000, "2: -12"}, {60000, "3: 12"}, {80000, "4: 0"}}},
    {"overtoner~", {{20000, "p7 0"}, {40000, "p1 -60"}, {60000, "p2 0"}, {80000, "p4 -60"}}},
};

std::vector<Scenario> scenarios() {
  std::vector<Scenario> all;
  for (const auto& [object, heavy] : HEAVY) {
    all.push_back({object + " defaults", object, 64, {}, {}});
    all.push_back({object + " heavy", object, 64, heavy, {}});
    for (int block : {1, 100, 1024})
      all.push_back({object + " heavy block " + std::to_string(block), object, block, heavy, {}});
    all.push_back({object + " moves", object, 64, heavy, MOVES.at(object)});
    std::vector<Event> rateChange = MOVES.at(object);
    rateChange.push_back({25000, "dsp 48000 64"});
    rateChange.push_back({105000, "dsp 22050 128"});
    std::sort(rateChange.begin(), rateChange.end(),
              [](const Event& a, const Event& b) { return a.sample < b.sample; });
    all.push_back({object + " moves and rate changes", object, 64, heavy, rateChange});
  }
  for (int block : {64, 1}) {
    Scenario random{"echoloom~ random shape block " + std::to_string(block), "echoloom~", block,
                    {"lfoShape 5", "lfoDepth 60", "lfoFreq 7", "heads 2", "feedback 90"}, {}, true};
    all.push_back(random);
  }
  // The shortest delays read slots written a few samples before, within the
  // same block.
  const std::vector<std::string> shortTonewarp = {"time 1", "loopDepth 100", "pitchFactor 34", "octave 2",
                                                  "feedback 150"};
  const std::vector<std::string> shortEcholoom = {"time 1", "lfoDepth 100", "lfoFreq 10", "heads 2",
                                                  "feedback 150", "lfoShape 2"};
  const std::vector<std::string> shortGrainfall = {"time 1", "grainSize 50", "density 200", "feedback 150",
                                                   "octave -2", "octaveVariation 2", "grainReversal 50"};
  for (int block : {64, 1024, 7}) {
    const std::string suffix = " short delay block " + std::to_string(block);
    all.push_back({"tonewarp~" + suffix, "tonewarp~", block, shortTonewarp, {{60000, "octave -3"}}});
    all.push_back({"echoloom~" + suffix, "echoloom~", block, shortEcholoom, {{60000, "lfoShape 4"}}});
    all.push_back({"grainfall~" + suffix, "grainfall~", block, shortGrainfall, {{60000, "octave 3"}}});
  }
  all.push_back({"echoloom~ random shape one head", "echoloom~", 64,
                 {"lfoShape 5", "lfoDepth 100", "lfoFreq 10", "time 20"},
                 {{40000, "lfoDepth 5"}, {80000, "lfoShape 2"}}, true});
  return all;
}

// ---- Running and hashing ---------------------------------------------------

struct Result {
  size_t samples = 0;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a 64 offset basis
};

void add_to_hash(Result& result, float value) {
  uint32_t word;
  std::memcpy(&word, &value, sizeof word);
  for (int byte = 0; byte < 4; byte++) {
    result.hash ^= (word >> (8 * byte)) & 0xFFu;
    result.hash *= 1099511628211ull;  // FNV-1a 64 prime
  }
  result.samples += 1;
}

bool deliver(standin::Instance& instance, const std::string& message, int& block) {
  std::istringstream words(message);
  std::string first;
  words >> first;
  if (first != "dsp") return instance.send_text(message);
  float rate = 0.0f;
  words >> rate >> block;
  return instance.dsp(rate, block);
}

// Every output of every inlet's block goes into the hash, block by block,
// outlet 0 first; the last partial block is padded with zeros.
Result render(const Scenario& scenario) {
  Result result;
  if (scenario.seedRand) standin::seed_rand(1);
  auto instance = standin::Instance::create(scenario.object);
  EXPECT_TRUE(instance) << scenario.name;
  if (!instance) return result;
  int block = scenario.block;
  EXPECT_TRUE(instance->dsp(44100.0f, block)) << scenario.name;
  for (const std::string& message : scenario.messages)
    EXPECT_TRUE(deliver(*instance, message, block)) << scenario.name << ": " << message;

  const int inlets = instance->signal_inlets();
  const int outlets = instance->signal_outlets();
  std::vector<std::vector<float>> inputs;
  for (int channel = 0; channel < inlets; channel++) inputs.push_back(test_input(channel));
  size_t nextEvent = 0;
  for (size_t start = 0; start < INPUT_LENGTH; start += static_cast<size_t>(block)) {
    while (nextEvent < scenario.events.size() && scenario.events[nextEvent].sample <= start) {
      const std::string& message = scenario.events[nextEvent].message;
      EXPECT_TRUE(deliver(*instance, message, block)) << scenario.name << ": " << message;
      nextEvent++;
    }
    const size_t n = static_cast<size_t>(block);
    for (int channel = 0; channel < inlets; channel++) {
      float* vector = instance->inlet_vector(channel);
      std::fill(vector, vector + n, 0.0f);
      const size_t count = std::min(n, INPUT_LENGTH - start);
      std::copy_n(inputs[channel].begin() + static_cast<long>(start), count, vector);
    }
    EXPECT_TRUE(instance->run()) << scenario.name;
    for (int channel = 0; channel < outlets; channel++)
      for (size_t i = 0; i < n; i++) add_to_hash(result, instance->outlet_vector(channel)[i]);
  }
  standin::take_console_lines();
  return result;
}

// ---- The stored hashes -----------------------------------------------------

const std::string HASH_FILE = std::string(TILDEFX_GOLDEN_DIR) + "/hashes.txt";

// One line per scenario: SAMPLES HASH NAME (the name runs to the line's end).
std::map<std::string, Result> read_hashes() {
  std::map<std::string, Result> stored;
  std::ifstream file(HASH_FILE);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Result result;
    std::string name;
    fields >> result.samples >> std::hex >> result.hash >> std::ws;
    std::getline(fields, name);
    stored[name] = result;
  }
  return stored;
}

void write_hashes(const std::vector<Scenario>& all, const std::vector<Result>& results) {
  std::ofstream file(HASH_FILE);
  file << "# samples, FNV-1a 64 of the output float words, scenario (tests/golden_test.cpp)\n";
  for (size_t i = 0; i < all.size(); i++) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(results[i].hash));
    file << results[i].samples << ' ' << hash << ' ' << all[i].name << '\n';
  }
}

TEST(Golden, EveryObjectKeepsItsOutputBits) {
  const std::vector<Scenario> all = scenarios();
  std::vector<Result> results;
  for (const Scenario& scenario : all) results.push_back(render(scenario));

  if (std::getenv("TILDEFX_GOLDEN_REGENERATE") != nullptr) {
    write_hashes(all, results);
    GTEST_SKIP() << "rewrote " << HASH_FILE;
  }
  const auto stored = read_hashes();
  ASSERT_EQ(stored.size(), all.size()) << "missing or stale " << HASH_FILE;
  for (size_t i = 0; i < all.size(); i++) {
    const auto found = stored.find(all[i].name);
    ASSERT_NE(found, stored.end()) << all[i].name;
    EXPECT_EQ(results[i].samples, found->second.samples) << all[i].name;
    EXPECT_EQ(results[i].hash, found->second.hash) << all[i].name;
  }
}

// The guard is only as good as its input: the same run hashes the same, and
// a one-bit change in the input shows in the hash.
TEST(Golden, HashSeesEveryBit) {
  Result a, b;
  for (float value : test_input(0)) add_to_hash(a, value);
  std::vector<float> changed = test_input(0);
  uint32_t word;
  std::memcpy(&word, &changed[1000], sizeof word);
  word ^= 1u;
  std::memcpy(&changed[1000], &word, sizeof word);
  for (float value : changed) add_to_hash(b, value);
  EXPECT_EQ(a.samples, b.samples);
  EXPECT_NE(a.hash, b.hash);
  EXPECT_EQ(test_input(0), test_input(0));
  EXPECT_NE(test_input(0), test_input(1));
}

}  // namespace
