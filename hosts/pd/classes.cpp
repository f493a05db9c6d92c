// Loading an external: the plug-in's main registers its class, which becomes
// a Pd class with a method for every selector it binds.
#include <cstddef>

#include "internal.h"

namespace pd_host {

namespace {
host::Class* registering = nullptr;
host::Class* theClass = nullptr;
const char* registeringName = nullptr;

void bind_proxy_methods(t_class* inletClass) {
  class_addfloat(inletClass, inlet_float);
  class_addlist(inletClass, inlet_list);
  class_addanything(inletClass, inlet_anything);
}
}  // namespace

host::Class* loaded_class() { return theClass; }

void load_object(const char* objectName, int (*objectMain)()) {
  registeringName = objectName;
  objectMain();
  registeringName = nullptr;
  registering = nullptr;
  if (theClass == nullptr) pd_error(nullptr, "%s: the external registered no class", objectName);
}

}  // namespace pd_host

namespace host {

void setup(Class** place, Method newRoutine, Method freeRoutine, long recordSize,
           Method /*menuRoutine*/, int /*creationArguments*/) {
  const char* name = pd_host::registeringName;
  if (name == nullptr || pd_host::theClass != nullptr ||
      recordSize < static_cast<long>(sizeof(ObjectHeader))) {
    pd_error(nullptr, "%s: setup: the class cannot be registered here", name ? name : "tildefx");
    return;
  }
  auto* objectClass = new Class;
  objectClass->name = name;
  objectClass->newRoutine = newRoutine;
  objectClass->freeRoutine = freeRoutine;
  objectClass->recordSize = recordSize;
  // No creation arguments: as with any Pd class that takes none, words typed
  // after the name are ignored.
  objectClass->pdClass = class_new(gensym(name), (t_newmethod)pd_host::object_new,
                                   (t_method)pd_host::object_free, sizeof(pd_host::PdObject),
                                   CLASS_DEFAULT, A_NULL);
  objectClass->inletClass = class_new(gensym((objectClass->name + " inlet").c_str()), nullptr, nullptr,
                                      sizeof(pd_host::InletProxy), CLASS_PD, A_NULL);
  pd_host::bind_proxy_methods(objectClass->inletClass);
  pd_host::registering = objectClass;
  pd_host::theClass = objectClass;
  *place = objectClass;
}

// "dsp" is Pd's own private call; "assist" has no counterpart in Pd and
// stays unbound. Every other selector reaches object_message, which checks
// its arguments against the kind bound here.
void addmess(Method method, const char* selector, int kind, ...) {
  Class* objectClass = pd_host::registering;
  if (objectClass == nullptr) return;
  t_symbol* symbol = gensym(selector);
  objectClass->bindings.push_back({symbol, kind, method});
  if (symbol == gensym("dsp"))
    class_addmethod(objectClass->pdClass, (t_method)pd_host::object_dsp, symbol, A_CANT, A_NULL);
  else if (kind != ARG_PRIVATE)
    class_addmethod(objectClass->pdClass, (t_method)pd_host::object_message, symbol, A_GIMME, A_NULL);
}

void addftx(Method method, int inletNumber) {
  if (Class* objectClass = pd_host::registering) objectClass->floatInlets[inletNumber] = method;
}

void addint(Method method) {
  if (Class* objectClass = pd_host::registering) objectClass->intMethod = method;
}

void addfloat(Method method) {
  if (Class* objectClass = pd_host::registering) objectClass->floatMethod = method;
}

// The left inlet takes signals, and a number sent to it is the signal's
// value while nothing is connected, as everywhere in Pd; object_left_float
// stores it and hands it on to the object's int or float method if it has one.
void z_add_signalmethod() {
  Class* objectClass = pd_host::registering;
  if (objectClass == nullptr) return;
  class_domainsignalin(objectClass->pdClass, offsetof(pd_host::PdObject, leftInletValue));
  class_addfloat(objectClass->pdClass, pd_host::object_left_float);
}

}  // namespace host
