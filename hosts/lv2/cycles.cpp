// The host's cycles against the object's blocks. An LV2 host may run any
// number of samples per cycle, changing every cycle (a DAW splits a cycle at
// each automation point), while an object was prepared for one block length
// by its dsp method. So the chain, built at activation for the internal
// block length B, only ever runs blocks of B, behind a FIFO: each input
// sample goes into the chain's inlet vector, the chain runs once the block
// is full, and each output sample comes from the block run before, B - 1
// samples late whatever the cycles are. An object whose sound does not
// depend on its block length runs straight instead, on pieces of the cycle,
// with no latency.
//
// Notes reach the object before the block that holds their frame; control
// changes, which hold for a whole cycle, before the block that holds the
// cycle's first sample. Nothing here allocates.
#include <algorithm>

#include "internal.h"

namespace lv2_host {

namespace {
// The internal block when the host states no nominal length, and the
// longest one taken from a host (a longer nominal length falls back to the
// default rather than make every object that many samples late).
constexpr int DEFAULT_BLOCK_LENGTH = 64;
constexpr int LONGEST_BLOCK_LENGTH = 8192;

float* inlet_vector(Plugin& plugin, size_t inlet) { return plugin.instance->vectors[inlet]; }
float* outlet_vector(Plugin& plugin, size_t outlet) { return plugin.instance->vectors[plugin.inputs.size() + outlet]; }

// Pieces of at most B samples, split at each note's frame, each run through
// the chain's vectors at its own length.
void run_straight(Plugin& plugin, uint32_t sampleCount) {
  const uint32_t blockLength = static_cast<uint32_t>(plugin.timing.blockLength);
  for (uint32_t start = 0; start < sampleCount;) {
    deliver_notes_before(plugin, start + 1);
    uint32_t end = std::min(sampleCount, start + blockLength);
    const int64_t note = next_note_frame(plugin);
    if (note > start && note < end) end = static_cast<uint32_t>(note);
    const uint32_t length = end - start;
    for (size_t i = 0; i < plugin.inputs.size(); i++)
      std::copy_n(plugin.inputs[i] + start, length, inlet_vector(plugin, i));
    core::run_chain_for(*plugin.instance, static_cast<int>(length));
    for (size_t j = 0; j < plugin.outputs.size(); j++)
      std::copy_n(outlet_vector(plugin, j), length, plugin.outputs[j] + start);
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

Timing timing_for(const ObjectInfo& object, int nominalBlockLength) {
  Timing timing;
  timing.anyCycle = object.anyBlockLength;
  timing.blockLength = nominalBlockLength >= 1 && nominalBlockLength <= LONGEST_BLOCK_LENGTH
                           ? nominalBlockLength : DEFAULT_BLOCK_LENGTH;
  const int fifo = timing.anyCycle ? 0 : timing.blockLength - 1;
  const int history = std::max(object.history, timing.blockLength) - timing.blockLength;
  timing.latency = fifo + history;
  return timing;
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
