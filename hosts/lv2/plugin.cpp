// The LV2 side of one plug-in: instantiate runs the object's new routine
// and binds its ports, run delivers what changed and runs the object's
// chain over the host's buffers, cleanup runs the free routine.
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>

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

// Builds the instance; false, with what it got released, when the object
// cannot be created or its ports do not match it.
bool create(Plugin& plugin, double sampleRate, const LV2_Feature* const* features) {
  auto* map = static_cast<const LV2_URID_Map*>(find_feature(features, LV2_URID__map));
  auto* log = static_cast<const LV2_Log_Log*>(find_feature(features, LV2_LOG__log));
  lv2_log_logger_init(&plugin.logger, const_cast<LV2_URID_Map*>(map), const_cast<LV2_Log_Log*>(log));
  if (map != nullptr) plugin.midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
  plugin.object = theObject;
  plugin.sampleRate = static_cast<float>(sampleRate);
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

bool audio_connected(const Plugin& plugin) {
  for (const float* input : plugin.inputs)
    if (input == nullptr) return false;
  for (const float* output : plugin.outputs)
    if (output == nullptr) return false;
  return true;
}

// Marks the instance as running on the audio thread until the run ends.
class RunningFlag {
 public:
  explicit RunningFlag(Plugin& plugin) : plugin_(plugin) { plugin_.running = true; }
  ~RunningFlag() { plugin_.running = false; }
  RunningFlag(const RunningFlag&) = delete;
  RunningFlag& operator=(const RunningFlag&) = delete;

 private:
  Plugin& plugin_;
};

// The chain runs on the core's vectors, one block of the run's length; the
// dsp method runs again whenever that length changes.
void run(LV2_Handle handle, uint32_t sampleCount) {
  Plugin& plugin = *static_cast<Plugin*>(handle);
  core::Instance& instance = *plugin.instance;
  RunningFlag running(plugin);
  // Reported as 0 until the adapter knows the latency of each object.
  if (plugin.latency != nullptr) *plugin.latency = 0.0f;
  if (!audio_connected(plugin) || sampleCount > static_cast<uint32_t>(INT32_MAX)) return;
  const int n = static_cast<int>(sampleCount);
  if (n != instance.blockSize || instance.chain.empty())
    core::build_chain_on_own_vectors(instance, plugin.sampleRate, n, false);
  deliver_control_changes(plugin);
  deliver_notes(plugin);
  for (size_t i = 0; i < plugin.inputs.size(); i++) std::copy_n(plugin.inputs[i], n, instance.vectors[i]);
  core::run_chain(instance);
  for (size_t j = 0; j < plugin.outputs.size(); j++)
    std::copy_n(instance.vectors[plugin.inputs.size() + j], n, plugin.outputs[j]);
}

LV2_Descriptor theDescriptor = {nullptr, instantiate, connect_port, nullptr, run, nullptr, cleanup, nullptr};
}  // namespace

const LV2_Descriptor* descriptor(uint32_t index, const ObjectInfo& object, int (*objectMain)()) {
  if (index != 0) return nullptr;
  theObject = &object;
  theMain = objectMain;
  theDescriptor.URI = object.uri;
  return &theDescriptor;
}

}  // namespace lv2_host
