// The LV2 side of one plug-in: instantiate runs the object's new routine
// and binds its ports, run delivers what changed and runs the perform
// routine over the host's buffers, cleanup runs the free routine.
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "internal.h"

namespace lv2_host {

namespace {
using NewRoutine = void* (*)();
using FreeRoutine = void (*)(void*);

const ObjectInfo* theObject = nullptr;
int (*theMain)() = nullptr;

const void* find_feature(const LV2_Feature* const* features, const char* uri) {
  for (; features != nullptr && *features != nullptr; features++)
    if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

void free_record(Plugin& plugin) {
  if (plugin.record == nullptr) return;
  CallContext context(&plugin);
  if (plugin.objectClass->freeRoutine != nullptr)
    reinterpret_cast<FreeRoutine>(plugin.objectClass->freeRoutine)(plugin.record);
  std::free(plugin.record);
  plugin.record = nullptr;
}

// Builds the instance; false, with what it got released, when the object
// cannot be created or its ports do not match it.
bool create(Plugin& plugin, double sampleRate, const LV2_Feature* const* features) {
  auto* map = static_cast<const LV2_URID_Map*>(find_feature(features, LV2_URID__map));
  auto* log = static_cast<const LV2_Log_Log*>(find_feature(features, LV2_LOG__log));
  lv2_log_logger_init(&plugin.logger, const_cast<LV2_URID_Map*>(map), const_cast<LV2_Log_Log*>(log));
  if (map != nullptr) plugin.midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
  plugin.object = theObject;
  plugin.sampleRate = sampleRate;
  CallContext context(&plugin);
  plugin.objectClass = load_class(*theObject, theMain);
  if (plugin.objectClass == nullptr) return false;
  void* record = reinterpret_cast<NewRoutine>(plugin.objectClass->newRoutine)();
  if (record == nullptr || record != plugin.record) {
    // A new routine that returns null has released what it got.
    std::free(plugin.record);
    plugin.record = nullptr;
    print_error("the object could not be created");
    return false;
  }
  if (!bind_ports(plugin)) {
    free_record(plugin);
    return false;
  }
  if (plugin.notesPort != UINT32_MAX && plugin.midiEvent == 0)
    print_error("the host maps no URIDs: MIDI notes are ignored");
  return true;
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
    CallContext context(plugin);
    print_error("no memory for the instance");
    free_record(*plugin);
  }
  if (created) return plugin;
  delete plugin;
  return nullptr;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  Plugin& plugin = *static_cast<Plugin*>(instance);
  for (size_t i = 0; i < plugin.inputPorts.size(); i++)
    if (plugin.inputPorts[i] == port) plugin.inputs[i] = static_cast<const float*>(data);
  for (size_t i = 0; i < plugin.outputPorts.size(); i++)
    if (plugin.outputPorts[i] == port) plugin.outputs[i] = static_cast<float*>(data);
  for (Control& control : plugin.controls)
    if (control.port == port) control.value = static_cast<const float*>(data);
  if (port == plugin.notesPort) plugin.notes = static_cast<const LV2_Atom_Sequence*>(data);
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

// The dsp method runs again only when a block is larger than any before: it
// may size the object's buffers to the block.
void run(LV2_Handle instance, uint32_t sampleCount) {
  Plugin& plugin = *static_cast<Plugin*>(instance);
  CallContext context(&plugin);
  RunningFlag running(plugin);
  if (!audio_connected(plugin) || sampleCount > static_cast<uint32_t>(INT32_MAX)) return;
  const int n = static_cast<int>(sampleCount);
  if (n > plugin.dspBlockSize) build_chain(plugin, n);
  deliver_control_changes(plugin);
  deliver_notes(plugin);
  if (plugin.perform != nullptr) {
    run_chain(plugin, n);
  } else {
    for (float* output : plugin.outputs) std::memset(output, 0, sizeof(float) * sampleCount);
  }
}

void cleanup(LV2_Handle instance) {
  Plugin* plugin = static_cast<Plugin*>(instance);
  free_record(*plugin);
  delete plugin;
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
