// Loading a plug-in: the object's main registers its one class, recording
// the selectors and float inlets it binds.
#include <memory>

#include "internal.h"

namespace lv2_host {

namespace {
host::Class* registering = nullptr;
// Lives while the library is loaded; the host unloads it after the last
// instance is gone.
std::unique_ptr<host::Class> theClass;
const char* registeringName = nullptr;
}  // namespace

host::Class* load_class(const ObjectInfo& object, int (*objectMain)()) {
  if (theClass != nullptr) return theClass.get();
  registeringName = object.name;
  objectMain();
  registeringName = nullptr;
  registering = nullptr;
  if (theClass == nullptr) print_error("the plug-in registered no class");
  return theClass.get();
}

}  // namespace lv2_host

namespace host {

void setup(Class** place, Method newRoutine, Method freeRoutine, long recordSize,
           Method /*menuRoutine*/, int /*creationArguments*/) {
  if (lv2_host::registeringName == nullptr || lv2_host::theClass != nullptr ||
      recordSize < static_cast<long>(sizeof(ObjectHeader))) {
    lv2_host::print_error("setup: the class cannot be registered here");
    return;
  }
  lv2_host::theClass = std::make_unique<Class>();
  Class* objectClass = lv2_host::theClass.get();
  objectClass->name = lv2_host::registeringName;
  objectClass->newRoutine = newRoutine;
  objectClass->freeRoutine = freeRoutine;
  objectClass->recordSize = recordSize;
  lv2_host::registering = objectClass;
  *place = objectClass;
}

void addmess(Method method, const char* selector, int kind, ...) {
  if (Class* objectClass = lv2_host::registering) objectClass->bindings.push_back({selector, kind, method});
}

void addftx(Method method, int inletNumber) {
  if (Class* objectClass = lv2_host::registering) objectClass->floatInlets[inletNumber] = method;
}

// A number in the left inlet has no port: the left inlet is audio.
void addint(Method /*method*/) {}
void addfloat(Method /*method*/) {}
void z_add_signalmethod() {}

}  // namespace host
