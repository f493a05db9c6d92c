// Classes: a plug-in's main registers one, binding its selectors and float
// inlets; symbols are kept once per name.
#include <cstring>

#include "core.h"

namespace core {

namespace {
host::Class* registering = nullptr;
std::vector<std::unique_ptr<host::Class>> classes;
std::map<std::string, std::unique_ptr<host::Symbol>> symbols;
}  // namespace

host::Class* load_class(const std::string& objectName, int (*pluginMain)()) {
  auto objectClass = std::make_unique<host::Class>();
  objectClass->name = objectName;
  registering = objectClass.get();
  {
    CallScope scope(objectClass.get(), nullptr);
    pluginMain();
  }
  registering = nullptr;
  if (objectClass->newRoutine == nullptr) {
    CallScope scope(objectClass.get(), nullptr);
    print_line(true, "the plug-in registered no class");
    return nullptr;
  }
  classes.push_back(std::move(objectClass));
  return classes.back().get();
}

const Binding* find_binding(const host::Class& objectClass, const char* selector) {
  for (const Binding& binding : objectClass.bindings)
    if (std::strcmp(binding.selector->name, selector) == 0) return &binding;
  return nullptr;
}

host::Symbol* symbol(const char* name) {
  std::unique_ptr<host::Symbol>& known = symbols[name];
  if (known == nullptr) {
    auto made = std::make_unique<host::Symbol>();
    made->name = const_cast<char*>(symbols.find(name)->first.c_str());
    made->thing = nullptr;
    known = std::move(made);
  }
  return known.get();
}

}  // namespace core

namespace host {

void setup(Class** place, Method newRoutine, Method freeRoutine, long recordSize,
           Method /*menuRoutine*/, int /*creationArguments*/) {
  Class* objectClass = core::registering;
  if (objectClass == nullptr || objectClass->newRoutine != nullptr || newRoutine == nullptr ||
      recordSize < static_cast<long>(sizeof(ObjectHeader))) {
    core::print_line(true, "setup: the class cannot be registered here");
    return;
  }
  objectClass->newRoutine = newRoutine;
  objectClass->freeRoutine = freeRoutine;
  objectClass->recordSize = recordSize;
  *place = objectClass;
}

void addmess(Method method, const char* selector, int kind, ...) {
  if (Class* objectClass = core::registering)
    objectClass->bindings.push_back({core::symbol(selector), kind, method});
}

void addftx(Method method, int inletNumber) {
  if (Class* objectClass = core::registering) objectClass->floatInlets[inletNumber] = method;
}

void addint(Method method) {
  if (Class* objectClass = core::registering) objectClass->intMethod = method;
}

void addfloat(Method method) {
  if (Class* objectClass = core::registering) objectClass->floatMethod = method;
}

void z_add_signalmethod() {
  if (Class* objectClass = core::registering) objectClass->signalClass = true;
}

}  // namespace host
