// Loading an external: the plug-in's main registers its class with the
// core, and the class becomes a Pd class with a method for every selector it
// binds.
#include <cstddef>

#include "internal.h"
#include "pd_host.h"

namespace pd_host {

namespace {
Classes theClasses;

// "dsp" is Pd's own private call; "assist" has no counterpart in Pd and
// stays unbound. Every other selector reaches object_message, which the
// core checks against the kind bound.
void bind_methods(const host::Class& objectClass, t_class* pdClass) {
  for (const core::Binding& binding : objectClass.bindings) {
    t_symbol* selector = gensym(binding.selector->name);
    if (selector == gensym("dsp"))
      class_addmethod(pdClass, (t_method)object_dsp, selector, A_CANT, A_NULL);
    else if (binding.kind != host::ARG_PRIVATE)
      class_addmethod(pdClass, (t_method)object_message, selector, A_GIMME, A_NULL);
  }
  // The left inlet takes signals, and a number sent to it is the signal's
  // value while nothing is connected, as everywhere in Pd.
  if (objectClass.signalClass) {
    class_domainsignalin(pdClass, offsetof(PdObject, leftInletValue));
    class_addfloat(pdClass, object_left_float);
  }
}

t_class* make_inlet_class(const std::string& objectName) {
  t_class* inletClass = class_new(gensym((objectName + " inlet").c_str()), nullptr, nullptr,
                                  sizeof(InletProxy), CLASS_PD, A_NULL);
  class_addfloat(inletClass, inlet_float);
  class_addlist(inletClass, inlet_list);
  class_addanything(inletClass, inlet_anything);
  return inletClass;
}
}  // namespace

const Classes& classes() { return theClasses; }

void load_object(const char* objectName, int (*objectMain)()) {
  core::set_console(print_to_pd);
  host::Class* objectClass = core::load_class(objectName, objectMain);
  if (objectClass == nullptr) return;
  // No creation arguments: as with any Pd class that takes none, words typed
  // after the name are ignored.
  theClasses.pdClass = class_new(gensym(objectName), (t_newmethod)object_new, (t_method)object_free,
                                 sizeof(PdObject), CLASS_DEFAULT, A_NULL);
  theClasses.inletClass = make_inlet_class(objectName);
  theClasses.objectClass = objectClass;
  bind_methods(*objectClass, theClasses.pdClass);
}

// The error is tied to the object, so that Pd's "find last error" shows it.
void print_to_pd(const core::Context& context, bool isError, const char* text) {
  const char* name = core::current_name();
  if (!isError) {
    post("%s: %s", name, text);
    return;
  }
  PdObject* x = context.instance != nullptr ? static_cast<PdObject*>(context.instance->adapter) : nullptr;
  pd_error(x, "%s: %s", name, text);
}

}  // namespace pd_host
