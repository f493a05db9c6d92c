// Instances: the object's new routine makes its record through newobject and
// declares its inlets and outlets; once it returns, the Pd object gets them
// in position order. Freeing runs the object's free routine, then releases
// the record and the proxies.
#include <cstdlib>

#include "internal.h"

namespace pd_host {

namespace {
PdObject* beingCreated = nullptr;

// Far more inlets than any object makes; more are refused.
const int MAX_INLETS = 64;

using NewRoutine = void* (*)();
using FreeRoutine = void (*)(void*);

// Signal inlets first (the left one is the class's own), then one proxy per
// position up to the highest float inlet, then the list inlets. A float inlet
// numbered inside the signal inlets adds nothing: that position is a signal.
bool make_inlets_and_outlets(PdObject* x) {
  t_object* object = &x->object;
  for (int i = 1; i < x->signalInlets; i++) signalinlet_new(object, 0);
  const int firstProxy = x->signalInlets > 0 ? x->signalInlets : 1;
  const int count = first_list_inlet(x) - firstProxy + x->listInlets;
  if (count > 0) {
    x->proxies = static_cast<InletProxy**>(std::calloc(static_cast<size_t>(count), sizeof(InletProxy*)));
    if (x->proxies == nullptr) return false;
  }
  for (int k = 0; k < count; k++) {
    auto* proxy = reinterpret_cast<InletProxy*>(pd_new(x->objectClass->inletClass));
    proxy->owner = x;
    proxy->position = firstProxy + k;
    x->proxies[k] = proxy;
    x->proxyCount = k + 1;
    inlet_new(object, &proxy->pd, nullptr, nullptr);
  }
  for (int j = 0; j < x->signalOutlets; j++) outlet_new(object, &s_signal);
  return true;
}

// Gives up an instance whose creation failed: its record is released here,
// so the free routine Pd runs next finds nothing left to free.
void discard(PdObject* x) {
  std::free(x->record);
  x->record = nullptr;
  pd_free(&x->object.ob_pd);
}
}  // namespace

int first_list_inlet(const PdObject* x) {
  const int afterSignals = x->signalInlets > 0 ? x->signalInlets : 1;
  return x->floatInletEnd > afterSignals ? x->floatInletEnd : afterSignals;
}

PdObject* object_of(void* record) {
  return static_cast<PdObject*>(static_cast<host::ObjectHeader*>(record)->hostInstance);
}

void* object_new() {
  host::Class* objectClass = loaded_class();
  if (objectClass == nullptr) return nullptr;
  CallContext context(objectClass, nullptr);
  beingCreated = nullptr;
  void* record = reinterpret_cast<NewRoutine>(objectClass->newRoutine)();
  PdObject* x = beingCreated;
  beingCreated = nullptr;
  if (record == nullptr || x == nullptr || x->record != record) {
    // A new routine that returns null has released what it got; Pd then
    // reports that the object could not be created.
    if (x != nullptr) discard(x);
    return nullptr;
  }
  if (!make_inlets_and_outlets(x)) {
    print_error("no memory for the inlets");
    pd_free(&x->object.ob_pd);
    return nullptr;
  }
  return x;
}

void object_free(PdObject* x) {
  if (x->record != nullptr) {
    CallContext context(x->objectClass, x);
    if (x->objectClass->freeRoutine != nullptr)
      reinterpret_cast<FreeRoutine>(x->objectClass->freeRoutine)(x->record);
    std::free(x->record);
    x->record = nullptr;
  }
  for (int k = 0; k < x->proxyCount; k++) pd_free(&x->proxies[k]->pd);
  std::free(x->proxies);
  x->proxies = nullptr;
  x->proxyCount = 0;
}

}  // namespace pd_host

namespace host {

void* newobject(Class* objectClass) {
  if (objectClass == nullptr || objectClass != pd_host::loaded_class()) return nullptr;
  auto* x = reinterpret_cast<pd_host::PdObject*>(pd_new(objectClass->pdClass));
  x->objectClass = objectClass;
  x->record = std::calloc(1, static_cast<size_t>(objectClass->recordSize));
  if (x->record == nullptr) {
    pd_free(&x->object.ob_pd);
    return nullptr;
  }
  static_cast<ObjectHeader*>(x->record)->hostInstance = x;
  pd_host::beingCreated = x;
  pd_host::set_context_object(x);
  return x->record;
}

void z_dsp_setup(void* record, int signalInlets) {
  if (signalInlets < 0 || signalInlets > pd_host::MAX_INLETS) {
    pd_host::print_error("z_dsp_setup: no " + std::to_string(signalInlets) + " signal inlets");
    return;
  }
  pd_host::object_of(record)->signalInlets = signalInlets;
}

void floatin(void* record, int inletNumber) {
  pd_host::PdObject* x = pd_host::object_of(record);
  if (inletNumber < 0 || inletNumber >= pd_host::MAX_INLETS) {
    pd_host::print_error("floatin: no inlet " + std::to_string(inletNumber));
    return;
  }
  if (inletNumber + 1 > x->floatInletEnd) x->floatInletEnd = inletNumber + 1;
}

void inlet_new(void* record, const char* /*messageKind*/) { pd_host::object_of(record)->listInlets += 1; }

void outlet_new(void* record, const char* /*type*/) { pd_host::object_of(record)->signalOutlets += 1; }

int proxy_getinlet(void* record) { return pd_host::object_of(record)->currentInlet; }

}  // namespace host
