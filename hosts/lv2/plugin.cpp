// The LV2 side of one plug-in: instantiate runs the object's new routine,
// binds its ports and reads the host's options; activate runs the dsp
// method, which may allocate; run delivers what changed and runs the
// object's chain (cycles.cpp); cleanup runs the free routine.
#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "internal.h"

namespace lv2_host {

namespace {
const ObjectInfo* theObject = nullptr;
int (*theMain)() = nullptr;
host::Class* theClass = nullptr;

const void* find_feature(const LV2_Feature* const* features, const char* uri) {
  for (; features != nullptr && *features != nullptr; features++)
    if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

// The class, registered by running the plug-in's main the first time.
host::Class* load_class() {
  if (theClass == nullptr) {
    core::set_console(print_to_log);
    theClass = core::load_class(theObject->name, theMain);
  }
  return theClass;
}

// The host's nominal block length, or 0 when its options give none.
int nominal_block_length(const LV2_Feature* const* features, const LV2_URID_Map* map) {
  auto* options = static_cast<const LV2_Options_Option*>(find_feature(features, LV2_OPTIONS__options));
  if (options == nullptr || map == nullptr) return 0;
  const LV2_URID key = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
  const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
  for (const LV2_Options_Option* option = options; option->key != 0; option++)
    if (option->key == key && option->type == intType && option->size == sizeof(int32_t) && option->value != nullptr)
      return *static_cast<const int32_t*>(option->value);
  return 0;
}

// Builds the instance; false, with what it got released, when the object
// cannot be created or its ports do not match it.
bool create(Plugin& plugin, double sampleRate, const LV2_Feature* const* features) {
  auto* map = static_cast<const LV2_URID_Map*>(find_feature(features, LV2_URID__map));
  auto* log = static_cast<const LV2_Log_Log*>(find_feature(features, LV2_LOG__log));
  lv2_log_logger_init(&plugin.logger, const_cast<LV2_URID_Map*>(map), const_cast<LV2_Log_Log*>(log));
  if (map != nullptr) plugin.midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
  plugin.object = theObject;
  plugin.sampleRate = static_cast<float>(sampleRate);
  plugin.timing = timing_for(*theObject, nominal_block_length(features, map));
  plugin.worker = static_cast<const LV2_Worker_Schedule*>(find_feature(features, LV2_WORKER__schedule));
  if (load_class() == nullptr) return false;
  plugin.instance = core::create_instance(theClass, &plugin);
  if (plugin.instance == nullptr) return false;
  core::CallScope scope(theClass, plugin.instance);
  if (!bind_ports(plugin)) return false;
  if (plugin.notesPort != UINT32_MAX && plugin.midiEvent == 0)
    core::print_line(true, "the host maps no URIDs: MIDI notes are ignored");
  return true;
}

void cleanup(LV2_Handle handle) {
  Plugin* plugin = static_cast<Plugin*>(handle);
  if (plugin->instance != nullptr) core::free_instance(plugin->instance);
  delete plugin;
}

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double sampleRate, const char* /*bundlePath*/,
                       const LV2_Feature* const* features) {
  if (theObject == nullptr || !(sampleRate > 0.0)) return nullptr;
  Plugin* plugin = new (std::nothrow) Plugin;
  if (plugin == nullptr) return nullptr;
  bool created = false;
  DefaultFloatingPoint floatingPoint;
  try {
    created = create(*plugin, sampleRate, features);
  } catch (const std::bad_alloc&) {
    core::print_line(true, "no memory for the instance");
  }
  if (created) return plugin;
  cleanup(plugin);
  return nullptr;
}

void connect_port(LV2_Handle handle, uint32_t port, void* data) {
  Plugin& plugin = *static_cast<Plugin*>(handle);
  for (size_t i = 0; i < plugin.inputPorts.size(); i++)
    if (plugin.inputPorts[i] == port) plugin.inputs[i] = static_cast<const float*>(data);
  for (size_t i = 0; i < plugin.outputPorts.size(); i++)
    if (plugin.outputPorts[i] == port) plugin.outputs[i] = static_cast<float*>(data);
  for (Control& control : plugin.controls)
    if (control.port == port) control.value = static_cast<const float*>(data);
  if (port == plugin.notesPort) plugin.notes = static_cast<const LV2_Atom_Sequence*>(data);
  if (port == plugin.latencyPort) plugin.latency = static_cast<float*>(data);
}

// The dsp method runs here, for the internal block length, on vectors the
// core holds: they are the FIFO, which starts empty and silent.
void activate(LV2_Handle handle) {
  Plugin& plugin = *static_cast<Plugin*>(handle);
  DefaultFloatingPoint floatingPoint;
  core::Instance& instance = *plugin.instance;
  plugin.active = core::build_chain_on_own_vectors(instance, plugin.sampleRate, plugin.timing.blockLength, false);
  plugin.filled = 0;
}

void deactivate(LV2_Handle handle) { static_cast<Plugin*>(handle)->active = false; }

bool audio_connected(const Plugin& plugin) {
  for (const float* input : plugin.inputs)
    if (input == nullptr) return false;
  for (const float* output : plugin.outputs)
    if (output == nullptr) return false;
  return true;
}

void silence(Plugin& plugin, uint32_t sampleCount) {
  for (float* output : plugin.outputs) std::fill_n(output, sampleCount, 0.0f);
}

void run(LV2_Handle handle, uint32_t sampleCount) {
  Plugin& plugin = *static_cast<Plugin*>(handle);
  AudioThread audioThread(plugin);
  DefaultFloatingPoint floatingPoint;
  if (plugin.latency != nullptr) *plugin.latency = static_cast<float>(plugin.timing.latency);
  if (!audio_connected(plugin)) return;
  if (!plugin.active || plugin.instance->chain.empty())
    silence(plugin, sampleCount);
  else
    run_cycle(plugin, sampleCount);
}

const void* extension_data(const char* uri) {
  return std::strcmp(uri, LV2_WORKER__interface) == 0 ? worker_interface() : nullptr;
}

LV2_Descriptor theDescriptor = {nullptr, instantiate, connect_port, activate, run, deactivate, cleanup, extension_data};
}  // namespace

const LV2_Descriptor* descriptor(uint32_t index, const ObjectInfo& object, int (*objectMain)()) {
  if (index != 0) return nullptr;
  theObject = &object;
  theMain = objectMain;
  theDescriptor.URI = object.uri;
  return &theDescriptor;
}

}  // namespace lv2_host
