// The host's cycles against the object's blocks. An LV2 host may run any
// number of samples per cycle, changing every cycle (a DAW splits a cycle at
// each automation point), while an object was prepared for one block length
// by its dsp method. So the chain, built at activation for the internal
// block length B, only ever runs blocks of B, behind a FIFO: each input
// sample goes into the chain's inlet vector, the chain runs once the block
// is full, and each output sample comes from the block run before, B - 1
// samples late whatever the cycles are. An object whose sound does not
// depend on its block length runs straight instead, on pieces of the cycle,
// reading and writing the host's buffers.
//
// Notes reach the object before the block that holds their frame; control
// changes, which hold for a whole cycle, before the block that holds the
// cycle's first sample. Nothing here allocates.
#include <algorithm>

#include "internal.h"

namespace lv2_host {

namespace {

float* inlet_vector(Plugin& plugin, size_t inlet) { return plugin.instance->vectors[inlet]; }
float* outlet_vector(Plugin& plugin, size_t outlet) { return plugin.instance->vectors[plugin.inputs.size() + outlet]; }

// The chain over length samples of the host's buffers from start: the
// vector words point there, and the block-length word, which every perform
// routine takes last, says how many. Only for objects whose sound does not
// depend on the length.
void run_chain_on_host_buffers(Plugin& plugin, uint32_t start, uint32_t length) {
  core::Instance& instance = *plugin.instance;
  const size_t inlets = plugin.inputs.size();
  for (const VectorWord& vector : plugin.vectorWords) {
    const float* buffer = vector.vector < inlets ? plugin.inputs[vector.vector] : plugin.outputs[vector.vector - inlets];
    instance.chain[vector.entry].words[vector.word] = reinterpret_cast<host::Word>(buffer + start);
  }
  for (core::ChainEntry& entry : instance.chain) entry.words.back() = static_cast<host::Word>(length);
  core::run_chain(instance);
}

// Pieces of at most B samples, split at each note's frame.
void run_straight(Plugin& plugin, uint32_t sampleCount) {
  const uint32_t blockLength = static_cast<uint32_t>(plugin.timing.blockLength);
  for (uint32_t start = 0; start < sampleCount;) {
    deliver_notes_before(plugin, start + 1);
    uint32_t end = std::min(sampleCount, start + blockLength);
    const int64_t note = next_note_frame(plugin);
    if (note > start && note < end) end = static_cast<uint32_t>(note);
    run_chain_on_host_buffers(plugin, start, end - start);
    start = end;
  }
}

// The FIFO: the inlet vectors fill up to B, the outlet vectors hold the
// block run last. The input of a piece is read before its output is
// written, as the host may hand the same buffer for both.
void run_through_fifo(Plugin& plugin, uint32_t sampleCount) {
  const uint32_t blockLength = static_cast<uint32_t>(plugin.timing.blockLength);
  uint32_t filled = static_cast<uint32_t>(plugin.filled);
  for (uint32_t start = 0; start < sampleCount;) {
    const uint32_t length = std::min(sampleCount - start, blockLength - filled);
    for (size_t i = 0; i < plugin.inputs.size(); i++)
      std::copy_n(plugin.inputs[i] + start, length, inlet_vector(plugin, i) + filled);
    const bool full = filled + length == blockLength;
    // Sample filled + k of the block in hand leaves as sample filled + k + 1
    // of the block before; the last one, once the block has run, as its
    // first sample.
    const uint32_t fromBefore = full ? length - 1 : length;
    for (size_t j = 0; j < plugin.outputs.size(); j++)
      std::copy_n(outlet_vector(plugin, j) + filled + 1, fromBefore, plugin.outputs[j] + start);
    if (full) {
      deliver_notes_before(plugin, start + length);
      core::run_chain(*plugin.instance);
      for (size_t j = 0; j < plugin.outputs.size(); j++)
        plugin.outputs[j][start + length - 1] = outlet_vector(plugin, j)[0];
    }
    filled = full ? 0 : filled + length;
    start += length;
  }
  plugin.filled = static_cast<int>(filled);
}

}  // namespace

void prepare_cycles(Plugin& plugin) {
  plugin.filled = 0;
  plugin.vectorWords.clear();
  if (!plugin.timing.anyCycle) return;
  const std::vector<core::ChainEntry>& chain = plugin.instance->chain;
  const std::vector<float*>& vectors = plugin.instance->vectors;
  for (size_t entry = 0; entry < chain.size(); entry++)
    for (size_t word = 1; word < chain[entry].words.size(); word++)
      for (size_t vector = 0; vector < vectors.size(); vector++)
        if (chain[entry].words[word] == reinterpret_cast<host::Word>(vectors[vector]))
          plugin.vectorWords.push_back({entry, word, vector});
}

void run_cycle(Plugin& plugin, uint32_t sampleCount) {
  restart_notes(plugin);
  deliver_control_changes(plugin);
  if (plugin.timing.anyCycle)
    run_straight(plugin, sampleCount);
  else
    run_through_fifo(plugin, sampleCount);
  // Notes after the last full block belong to the block in hand.
  deliver_notes_before(plugin, UINT32_MAX);
}

}  // namespace lv2_host
