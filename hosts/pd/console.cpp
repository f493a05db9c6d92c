// Console lines, each naming the object that prints it: "error: NAME~: TEXT"
// in Pd's console for an error, "NAME~: TEXT" for information.
#include "internal.h"

namespace pd_host {

namespace {
host::Class* contextClass = nullptr;
PdObject* contextObject = nullptr;

const char* context_name() { return contextClass != nullptr ? contextClass->name.c_str() : "tildefx"; }
}  // namespace

CallContext::CallContext(host::Class* objectClass, PdObject* object)
    : savedClass_(contextClass), savedObject_(contextObject) {
  contextClass = objectClass;
  contextObject = object;
}

CallContext::~CallContext() {
  contextClass = savedClass_;
  contextObject = savedObject_;
}

void set_context_object(PdObject* object) { contextObject = object; }

// The error is tied to the object, so that Pd's "find last error" shows it.
void print_error(const std::string& text) {
  pd_error(contextObject, "%s: %s", context_name(), text.c_str());
}

}  // namespace pd_host

namespace host {

void error(const char* text) { pd_host::print_error(text); }

void post(const char* text) { ::post("%s: %s", pd_host::context_name(), text); }

}  // namespace host
