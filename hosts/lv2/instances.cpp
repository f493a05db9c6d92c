// Instances: the object's new routine makes its record through newobject
// and counts its inlets and outlets; the ports then have to match them.
#include <cstdlib>

#include "internal.h"

namespace lv2_host {

namespace {
Plugin* record_owner(void* record) {
  return static_cast<Plugin*>(static_cast<host::ObjectHeader*>(record)->hostInstance);
}
}  // namespace

}  // namespace lv2_host

namespace host {

// The record of the instance being instantiated on this thread.
void* newobject(Class* objectClass) {
  lv2_host::Plugin* plugin = lv2_host::current_plugin();
  if (plugin == nullptr || objectClass != plugin->objectClass || plugin->record != nullptr) return nullptr;
  plugin->record = std::calloc(1, static_cast<size_t>(objectClass->recordSize));
  if (plugin->record == nullptr) return nullptr;
  static_cast<ObjectHeader*>(plugin->record)->hostInstance = plugin;
  return plugin->record;
}

void z_dsp_setup(void* record, int signalInlets) { lv2_host::record_owner(record)->signalInlets = signalInlets; }

// Float inlets and the list inlet are ports of their own, matched by number
// when the ports are bound.
void floatin(void* /*record*/, int /*inletNumber*/) {}
void inlet_new(void* /*record*/, const char* /*messageKind*/) {}

void outlet_new(void* record, const char* /*type*/) { lv2_host::record_owner(record)->signalOutlets += 1; }

int proxy_getinlet(void* record) { return lv2_host::record_owner(record)->currentInlet; }

}  // namespace host
