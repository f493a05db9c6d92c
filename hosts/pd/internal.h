// The Pd host: each external registers its one class with the host core,
// which becomes a Pd class. A Pd object per instance carries the inlets and
// outlets and holds the core's instance; Pd's messages become the core's.
#pragma once

#include <m_pd.h>

#include "core.h"

namespace pd_host {

struct PdObject;

// One float or list inlet right of the signal inlets: Pd hands it every
// message sent to that inlet, and it passes them on with its position.
struct InletProxy {
  t_pd pd;
  PdObject* owner;
  int position;
};

// The Pd side of one instance. Pd allocates it zero-filled and never runs a
// constructor, so it holds plain fields only.
struct PdObject {
  t_object object;
  t_float leftInletValue;  // the left signal inlet's value while no signal is connected
  core::Instance* instance;
  InletProxy** proxies;
  int proxyCount;
};

// The external's class in the core and its two Pd classes: the object's and
// its inlet proxies'.
struct Classes {
  host::Class* objectClass = nullptr;
  t_class* pdClass = nullptr;
  t_class* inletClass = nullptr;
};
const Classes& classes();

// The routines Pd calls: new, free and dsp.
void* object_new();
void object_free(PdObject* x);
void object_dsp(PdObject* x, t_signal** signals);

// Messages and numbers for the left inlet and for the proxies.
void object_message(PdObject* x, t_symbol* selector, int argc, t_atom* argv);
void object_left_float(PdObject* x, t_float value);
void inlet_float(InletProxy* inlet, t_float value);
void inlet_list(InletProxy* inlet, t_symbol* selector, int argc, t_atom* argv);
void inlet_anything(InletProxy* inlet, t_symbol* selector, int argc, t_atom* argv);

// Console lines go to Pd's console, an error tied to its object.
void print_to_pd(const core::Context& context, bool isError, const char* text);

}  // namespace pd_host
