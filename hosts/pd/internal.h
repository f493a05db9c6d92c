// What the Pd host keeps behind the host interface: the class an external
// registers, and for each instance a Pd object that carries its inlets and
// outlets and points at the object's record.
#pragma once

#include <m_pd.h>

#include <map>
#include <string>
#include <vector>

#include "host.h"

struct host::Class {
  std::string name;  // "sidesplit~"
  t_class* pdClass = nullptr;
  t_class* inletClass = nullptr;  // the proxies behind float and list inlets
  host::Method newRoutine = nullptr;
  host::Method freeRoutine = nullptr;
  long recordSize = 0;
  struct Bound {
    t_symbol* selector;
    int kind;
    host::Method method;
  };
  std::vector<Bound> bindings;              // addmess, in order
  std::map<int, host::Method> floatInlets;  // addftx
  host::Method intMethod = nullptr;         // addint
  host::Method floatMethod = nullptr;       // addfloat
};

namespace pd_host {

struct PdObject;

// One float or list inlet right of the signal inlets: Pd hands it every
// message sent to that inlet, and it passes them on with its position.
struct InletProxy {
  t_pd pd;
  PdObject* owner;
  int position;
};

// The Pd side of one instance. Pd allocates it zero-filled and never runs
// a constructor, so it holds plain fields only.
struct PdObject {
  t_object object;
  t_float leftInletValue;  // the left signal inlet's value while no signal is connected
  host::Class* objectClass;
  void* record;
  // Counted while the object's new routine runs; the inlets and outlets are
  // made from them once it returns.
  int signalInlets;
  int floatInletEnd;  // one past the highest float inlet number
  int listInlets;
  int signalOutlets;
  InletProxy** proxies;
  int proxyCount;
  int currentInlet;  // the inlet of the message in hand, for proxy_getinlet
};

// The instance whose record this is.
PdObject* object_of(void* record);
// The position of the first list inlet: list inlets follow every signal and
// float inlet.
int first_list_inlet(const PdObject* x);

// Console lines name the object that prints them. Every call into an object
// sets the object (null during its new routine before newobject) and the
// class, and restores the previous ones when it ends.
class CallContext {
 public:
  CallContext(host::Class* objectClass, PdObject* object);
  ~CallContext();

 private:
  host::Class* savedClass_;
  PdObject* savedObject_;
};
void set_context_object(PdObject* object);
void print_error(const std::string& text);

// The one class an external registers; null until its main has run setup.
host::Class* loaded_class();

// The routines Pd calls: new, free, dsp, the left inlet's numbers, and the
// messages and numbers that reach the proxies.
void* object_new();
void object_free(PdObject* x);
void object_dsp(PdObject* x, t_signal** signals);
void object_left_float(PdObject* x, t_float value);
void object_message(PdObject* x, t_symbol* selector, int argc, t_atom* argv);
void inlet_float(InletProxy* inlet, t_float value);
void inlet_list(InletProxy* inlet, t_symbol* selector, int argc, t_atom* argv);
void inlet_anything(InletProxy* inlet, t_symbol* selector, int argc, t_atom* argv);

}  // namespace pd_host
