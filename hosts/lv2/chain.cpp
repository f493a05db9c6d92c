// The signal chain of one instance: the dsp method runs with the largest
// block the host has run so far and the host's rate, and adds one perform
// routine. Each run hands it the buffers the host connected and the run's
// block size, in place of those the dsp method saw.
#include <cstdarg>

#include "internal.h"

namespace lv2_host {

namespace {
using DspMethod = void (*)(void*, host::Signal**, short*);

const host::Class::Bound* find_dsp(const host::Class& objectClass) {
  for (const host::Class::Bound& bound : objectClass.bindings)
    if (bound.selector == "dsp") return &bound;
  return nullptr;
}

// Record, the vectors of the inlets and the outlets, the block size: the
// arguments every object gives its perform routine.
bool arguments_in_usual_order(const Plugin& plugin, int blockSize) {
  const int vectors = plugin.signalInlets + plugin.signalOutlets;
  return plugin.perform != nullptr && plugin.wordCount == vectors + 2 &&
         plugin.words[1] == reinterpret_cast<host::Word>(plugin.record) &&
         plugin.words[vectors + 2] == static_cast<host::Word>(blockSize);
}
}  // namespace

void build_chain(Plugin& plugin, int blockSize) {
  const host::Class::Bound* dsp = find_dsp(*plugin.objectClass);
  plugin.perform = nullptr;
  plugin.wordCount = 0;
  plugin.dspBlockSize = blockSize;
  if (dsp == nullptr) return;
  const size_t count = plugin.inputs.size() + plugin.outputs.size();
  host::Signal signals[MAX_PERFORM_ARGUMENTS];
  host::Signal* pointers[MAX_PERFORM_ARGUMENTS];
  short connections[MAX_PERFORM_ARGUMENTS];
  if (count > MAX_PERFORM_ARGUMENTS) return;
  for (size_t i = 0; i < count; i++) {
    float* vector = i < plugin.inputs.size() ? const_cast<float*>(plugin.inputs[i])
                                             : plugin.outputs[i - plugin.inputs.size()];
    signals[i] = {blockSize, vector, static_cast<float>(plugin.sampleRate)};
    pointers[i] = &signals[i];
    connections[i] = 1;
  }
  plugin.inDsp = true;
  reinterpret_cast<DspMethod>(dsp->method)(plugin.record, pointers, connections);
  plugin.inDsp = false;
  if (arguments_in_usual_order(plugin, blockSize)) return;
  // An object that adds nothing has said why.
  if (plugin.perform != nullptr)
    print_error("the perform routine's arguments are not the record, the vectors and the block size");
  plugin.perform = nullptr;
}

void run_chain(Plugin& plugin, int blockSize) {
  host::Word* w = plugin.words;
  int k = 2;
  for (const float* input : plugin.inputs) w[k++] = reinterpret_cast<host::Word>(input);
  for (float* output : plugin.outputs) w[k++] = reinterpret_cast<host::Word>(output);
  w[k] = static_cast<host::Word>(blockSize);
  plugin.perform(w);
}

}  // namespace lv2_host

namespace host {

void dsp_add(PerformRoutine perform, int count, ...) {
  lv2_host::Plugin* plugin = lv2_host::current_plugin();
  if (plugin == nullptr || !plugin->inDsp || plugin->perform != nullptr || count < 0 ||
      count > lv2_host::MAX_PERFORM_ARGUMENTS) {
    lv2_host::print_error("dsp_add: one perform routine, added by the dsp method");
    return;
  }
  plugin->perform = perform;
  plugin->wordCount = count;
  plugin->words[0] = reinterpret_cast<Word>(perform);
  va_list arguments;
  va_start(arguments, count);
  for (int i = 1; i <= count; i++) plugin->words[i] = va_arg(arguments, Word);
  va_end(arguments);
}

// The instance's chain is its own: cleanup ends it.
void z_dsp_free(void* /*record*/) {}

}  // namespace host
