// A fuzz target for one object (FUZZ_OBJECT), driven through the stand-in
// host. The fuzzer's bytes are read as a sequence of steps: a message with
// any selector and any arguments, numbers or a list into any inlet, a dsp
// call with any rate and block size, or a block of input samples. After
// every step it checks that the step finished in time, and after every block
// that each output sample is finite unless a bad input sample (not finite,
// or 1e30 and beyond) came within the object's recovery length before it.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "standin.h"

namespace {

// Samples after a bad input sample in which the output may still be bad:
// the delays take bad samples as silence, the memoryless objects pass them
// on in the same sample, and the others hold them in a group or a window.
long recovery_length(const std::string& object) {
  if (object == "bitgrind~") return 2 * 256;  // two groups of the longest fold
  if (object == "levelsway~") return 64;
  if (object == "overtoner~" || object == "sidesplit~") return 1;
  return 0;
}

const double STEP_SECONDS_LIMIT = 2.0;

// Reads the fuzzer's bytes; past the end every read gives zero.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return position_ >= size_; }
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  uint32_t below(uint32_t bound) { return bound == 0 ? 0 : word() % bound; }
  uint32_t word() {
    uint32_t value = 0;
    for (int k = 0; k < 4; k++) value = value << 8 | byte();
    return value;
  }
  double raw_double() {
    uint64_t bits = static_cast<uint64_t>(word()) << 32 | word();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  template <typename T, size_t N>
  const T& pick(const T (&choices)[N]) {
    return choices[byte() % N];
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

const double INF = std::numeric_limits<double>::infinity();
const double NUMBERS[] = {0.0,    -0.0,   1.0,     -1.0,    0.5,       2.0,     50.0,     60.0,    100.0,
                          127.0,  200.0,  1000.0,  5000.0,  10000.0,   20000.0, 44100.0,  -60.0,   -4.0,
                          4.0,    34.9,   35.0,    1e308,   -1e308,    5e-324,  -5e-324,  1e-310,  2147483648.0,
                          -2147483649.0, 1e30, NAN, INF,    -INF};
const char* const WORDS[] = {"foo", "bang", "list", "float", "int", "-", "nan", "inf", "", "60"};
const char* const EXTRA_SELECTORS[] = {"list", "float", "int", "bang", "symbol", "dsp", "assist", "foo", "signal"};
const float SAMPLES[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.25f, 1e-40f, -1e-45f, 1e10f, -1e20f, 3e29f};
const float BAD_SAMPLES[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3.4e38f};
const float RATES[] = {1.0f, 8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 384000.0f, 63.0f, 126.0f};
const int BLOCKS[] = {0, 1, 2, 3, 7, 16, 63, 64, 65, 128, 1000, 4096, 8192};

bool is_bad(float sample) { return !std::isfinite(sample) || std::fabs(sample) >= 1e30f; }

struct Run {
  std::unique_ptr<standin::Instance> instance;
  std::vector<std::string> selectors;
  int64_t clock = 0;          // input samples so far
  int64_t lastBad = INT64_MIN;  // clock of the last bad input sample
  long recovery = 0;
};

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", FUZZ_OBJECT, what.c_str());
  std::abort();
}

standin::Value argument(ByteReader& bytes) {
  switch (bytes.byte() % 4) {
    case 0: return {true, false, bytes.pick(NUMBERS), ""};
    case 1: return {true, false, bytes.raw_double(), ""};
    case 2: return {true, true, static_cast<double>(static_cast<int8_t>(bytes.byte())), ""};
    default: return {false, false, 0.0, bytes.pick(WORDS)};
  }
}

void send_message(Run& run, ByteReader& bytes, bool numbersOnly) {
  standin::Message message;
  message.inlet = static_cast<int>(bytes.below(static_cast<uint32_t>(run.instance->inlet_count() + 1)));
  const size_t count = bytes.byte() % 5;
  for (size_t k = 0; k < count; k++) message.arguments.push_back(argument(bytes));
  if (numbersOnly) {
    for (standin::Value& value : message.arguments)
      if (!value.isNumber) value = {true, false, bytes.pick(NUMBERS), ""};
    message.selector = count == 1 ? (bytes.byte() % 2 ? "float" : "int") : "list";
  } else {
    const size_t choice = bytes.below(static_cast<uint32_t>(run.selectors.size()));
    message.selector = run.selectors[choice];
  }
  run.instance->send(message);
}

void rebuild_chain(Run& run, ByteReader& bytes) {
  const float rate = bytes.byte() % 2 ? bytes.pick(RATES) : static_cast<float>(1 + bytes.below(384000));
  const int block = bytes.byte() % 2 ? bytes.pick(BLOCKS) : static_cast<int>(bytes.below(8193));
  run.instance->dsp(rate, block, bytes.byte() % 4 == 0);
}

float input_sample(ByteReader& bytes, uint8_t mix) {
  const uint8_t kind = bytes.byte();
  if (mix > 0 && kind % 64 < mix % 8) return bytes.pick(BAD_SAMPLES);
  if (kind % 8 == 0) return bytes.pick(SAMPLES);
  return static_cast<float>(static_cast<int8_t>(kind)) / 128.0f;
}

void run_block(Run& run, ByteReader& bytes) {
  standin::Instance& instance = *run.instance;
  const size_t n = static_cast<size_t>(instance.block_size());
  const uint8_t mix = bytes.byte() % 4 == 0 ? bytes.byte() : 0;  // how often a sample is bad
  std::vector<int64_t> lastBadAt(n);
  for (size_t i = 0; i < n; i++) {
    for (int k = 0; k < instance.signal_inlets(); k++) {
      float& sample = instance.inlet_vector(k)[i];
      sample = input_sample(bytes, mix);
      if (is_bad(sample)) run.lastBad = run.clock + static_cast<int64_t>(i);
    }
    lastBadAt[i] = run.lastBad;
  }
  if (!instance.run()) finding("the object wrote outside its record");
  for (size_t i = 0; i < n; i++) {
    const int64_t now = run.clock + static_cast<int64_t>(i);
    const bool mayBeBad = lastBadAt[i] != INT64_MIN && now - lastBadAt[i] < run.recovery;
    for (int j = 0; j < instance.signal_outlets(); j++)
      if (!std::isfinite(instance.outlet_vector(j)[i]) && !mayBeBad)
        finding("output " + std::to_string(j) + " is " + std::to_string(instance.outlet_vector(j)[i]) + " at sample " +
                std::to_string(now) + (lastBadAt[i] == INT64_MIN ? " after finite input only"
                                                                 : ", " + std::to_string(now - lastBadAt[i]) +
                                                                       " samples after the last bad input"));
  }
  run.clock += static_cast<int64_t>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader bytes(data, size);
  standin::seed_rand(1);
  Run run;
  run.instance = standin::Instance::create(FUZZ_OBJECT);
  if (!run.instance) finding("cannot be created");
  run.recovery = recovery_length(FUZZ_OBJECT);
  for (const standin::Binding& binding : run.instance->class_info().messages)
    run.selectors.push_back(binding.selector);
  for (const char* selector : EXTRA_SELECTORS) run.selectors.push_back(selector);
  run.instance->dsp(44100.0f, 64);
  for (int step = 0; step < 64 && !bytes.done(); step++) {
    const auto started = std::chrono::steady_clock::now();
    switch (bytes.byte() % 5) {
      case 0: send_message(run, bytes, false); break;
      case 1: send_message(run, bytes, true); break;
      case 2: rebuild_chain(run, bytes); break;
      default: run_block(run, bytes); break;
    }
    standin::take_console_lines();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    if (took.count() > STEP_SECONDS_LIMIT) finding("a step took " + std::to_string(took.count()) + " s");
  }
  return 0;
}
