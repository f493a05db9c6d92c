// Pd's messages, numbers and lists as the core's messages, each addressed to
// the inlet it reached.
#include <cmath>

#include "internal.h"

namespace pd_host {

namespace {
core::Value value_of(const t_atom& atom) {
  core::Value value;
  if (atom.a_type == A_FLOAT) {
    value.isNumber = true;
    value.number = atom.a_w.w_float;
    value.isInteger = value.number == std::floor(value.number);
  } else if (atom.a_type == A_SYMBOL) {
    value.word = atom.a_w.w_symbol->s_name;
  }
  return value;
}

core::Message message_of(int inlet, const char* selector, int argc, const t_atom* argv) {
  core::Message message;
  message.inlet = inlet;
  message.selector = selector;
  for (int i = 0; i < argc; i++) message.arguments.push_back(value_of(argv[i]));
  return message;
}

void deliver_number(PdObject* x, int inlet, t_float number) {
  t_atom atom;
  SETFLOAT(&atom, number);
  core::Message message = message_of(inlet, "float", 1, &atom);
  if (message.arguments[0].isInteger) message.selector = "int";
  core::deliver(*x->instance, message);
}
}  // namespace

// Pd hands a bang or a symbol to a class's list method with no selector.
void object_message(PdObject* x, t_symbol* selector, int argc, t_atom* argv) {
  core::deliver(*x->instance, message_of(0, selector != nullptr ? selector->s_name : "list", argc, argv));
}

// The number is the left signal inlet's value while nothing is connected;
// an object with an int or float method also gets it.
void object_left_float(PdObject* x, t_float value) {
  const host::Class& objectClass = *x->instance->objectClass;
  if (std::isfinite(value)) x->leftInletValue = value;
  if (!std::isfinite(value) || objectClass.intMethod != nullptr || objectClass.floatMethod != nullptr)
    deliver_number(x, 0, value);
}

void inlet_float(InletProxy* inlet, t_float value) { deliver_number(inlet->owner, inlet->position, value); }

// A list of one number reaches a float inlet as that number.
void inlet_list(InletProxy* inlet, t_symbol* /*selector*/, int argc, t_atom* argv) {
  if (argc == 1 && argv[0].a_type == A_FLOAT)
    deliver_number(inlet->owner, inlet->position, argv[0].a_w.w_float);
  else
    core::deliver(*inlet->owner->instance, message_of(inlet->position, "list", argc, argv));
}

void inlet_anything(InletProxy* inlet, t_symbol* selector, int argc, t_atom* argv) {
  core::deliver(*inlet->owner->instance, message_of(inlet->position, selector->s_name, argc, argv));
}

}  // namespace pd_host
