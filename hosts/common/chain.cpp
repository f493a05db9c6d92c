// The signal chain: the dsp method runs with a signal record for every
// inlet and outlet, and the perform routines it adds with dsp_add are kept,
// each with its argument words, to run once per block.
#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "core.h"

namespace core {

namespace {
using DspMethod = void (*)(void*, host::Signal**, short*);

thread_local Instance* buildingChain = nullptr;
}  // namespace

bool build_chain(Instance& instance, float sampleRate, int blockSize, const std::vector<float*>& vectors) {
  CallScope scope(instance.objectClass, &instance);
  if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate)) {
    print_line(true, "the sample rate must be a positive number");
    return false;
  }
  if (blockSize < 0) {
    print_line(true, "the block size must not be negative");
    return false;
  }
  const Binding* dsp = find_binding(*instance.objectClass, "dsp");
  if (dsp == nullptr) {
    print_line(true, "no method for 'dsp'");
    return false;
  }
  const size_t count = static_cast<size_t>(instance.signalInlets + instance.signalOutlets);
  std::vector<host::Signal> signals;
  for (size_t i = 0; i < count; i++) signals.push_back({blockSize, i < vectors.size() ? vectors[i] : nullptr, sampleRate});
  std::vector<host::Signal*> pointers;
  for (host::Signal& signal : signals) pointers.push_back(&signal);
  // The objects do not read the connection counts.
  std::vector<short> connections(count, 1);
  instance.chain.clear();
  instance.sampleRate = sampleRate;
  instance.blockSize = blockSize;
  instance.vectors = vectors;
  buildingChain = &instance;
  reinterpret_cast<DspMethod>(dsp->method)(instance.record, pointers.data(), connections.data());
  buildingChain = nullptr;
  return check_record(instance);
}

bool build_chain_on_own_vectors(Instance& instance, float sampleRate, int blockSize, bool inPlace) {
  const int inlets = instance.signalInlets;
  const int owned = inlets + (inPlace ? std::max(0, instance.signalOutlets - inlets) : instance.signalOutlets);
  instance.ownVectors.assign(static_cast<size_t>(owned), std::vector<float>(static_cast<size_t>(std::max(0, blockSize))));
  std::vector<float*> vectors;
  for (int i = 0; i < inlets; i++) vectors.push_back(instance.ownVectors[static_cast<size_t>(i)].data());
  for (int j = 0, next = inlets; j < instance.signalOutlets; j++)
    vectors.push_back(inPlace && j < inlets ? vectors[static_cast<size_t>(j)]
                                            : instance.ownVectors[static_cast<size_t>(next++)].data());
  return build_chain(instance, sampleRate, blockSize, vectors);
}

void run_chain(Instance& instance) {
  for (ChainEntry& entry : instance.chain) entry.perform(entry.words.data());
}

void run_chain_for(Instance& instance, int length) {
  for (ChainEntry& entry : instance.chain) {
    const host::Word blockSize = entry.words.back();
    entry.words.back() = static_cast<host::Word>(length);
    entry.perform(entry.words.data());
    entry.words.back() = blockSize;
  }
}

}  // namespace core

namespace host {

void dsp_add(PerformRoutine perform, int count, ...) {
  core::Instance* instance = core::buildingChain;
  if (instance == nullptr || count < 0) {
    core::print_line(true, "dsp_add: only the dsp method adds to the signal chain");
    return;
  }
  core::ChainEntry entry{perform, std::vector<Word>(static_cast<size_t>(count) + 1, 0)};
  va_list arguments;
  va_start(arguments, count);
  for (int i = 1; i <= count; i++) entry.words[static_cast<size_t>(i)] = va_arg(arguments, Word);
  va_end(arguments);
  instance->chain.push_back(std::move(entry));
}

// Takes the instance out of the signal chain; a host whose chain is its own
// (Pd) leaves it to that chain.
void z_dsp_free(void* record) {
  const core::Context& context = core::current_context();
  if (context.instance != nullptr && context.instance->record == record) context.instance->chain.clear();
}

}  // namespace host
