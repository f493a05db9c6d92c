// Messages, numbers and lists from Pd to the object's methods, each checked
// against the kind its binding declares; and the dsp call, which hands the
// object Pd's signals and forwards its dsp_add to Pd's chain. Bad input gets
// one console line and reaches no method.
#include <cmath>
#include <cstdarg>

#include "host_runtime.h"
#include "internal.h"

namespace pd_host {

namespace {
using DspMethod = void (*)(void*, host::Signal**, short*);
using FloatMethod = void (*)(void*, double);
using IntMethod = void (*)(void*, int32_t);
using BareMethod = void (*)(void*);
using ListMethod = void (*)(void*, int, host::Atom*);

bool dspRunning = false;

const host::Class::Bound* find_binding(const host::Class* objectClass, t_symbol* selector) {
  for (const host::Class::Bound& bound : objectClass->bindings)
    if (bound.selector == selector) return &bound;
  return nullptr;
}

std::string quoted(const t_symbol* word) { return std::string("'") + word->s_name + "'"; }

std::string inlet_text(int position) { return "inlet " + std::to_string(position); }

bool all_numbers_finite(int argc, const t_atom* argv) {
  for (int i = 0; i < argc; i++)
    if (argv[i].a_type == A_FLOAT && !std::isfinite(argv[i].a_w.w_float)) return false;
  return true;
}

// Pd's atoms hold floats; a whole number within the 32-bit range passes as
// an integer atom, as it would have been typed.
host::Atom atom_from_pd(const t_atom& atom) {
  if (atom.a_type == A_SYMBOL) return {host::AtomType::Symbol, 0.0, atom.a_w.w_symbol->s_name};
  if (atom.a_type != A_FLOAT) return {host::AtomType::Symbol, 0.0, ""};
  const double number = atom.a_w.w_float;
  const bool whole = number == std::floor(number) && std::fabs(number) < 2147483648.0;
  return {whole ? host::AtomType::Long : host::AtomType::Float, number, nullptr};
}

void deliver_list(PdObject* x, host::Method method, int position, int argc, const t_atom* argv) {
  std::vector<host::Atom> atoms;
  for (int i = 0; i < argc; i++) atoms.push_back(atom_from_pd(argv[i]));
  x->currentInlet = position;
  reinterpret_cast<ListMethod>(method)(x->record, argc, atoms.data());
  x->currentInlet = 0;
}

void deliver_to_list_inlet(PdObject* x, int position, int argc, const t_atom* argv) {
  const host::Class::Bound* list = find_binding(x->objectClass, &s_list);
  if (list == nullptr || list->kind != host::ARG_LIST)
    print_error("no method for 'list'");
  else
    deliver_list(x, list->method, position, argc, argv);
}

void deliver_to_float_inlet(PdObject* x, int position, t_float value) {
  auto method = x->objectClass->floatInlets.find(position);
  if (method == x->objectClass->floatInlets.end()) {
    print_error("no method for " + inlet_text(position));
    return;
  }
  x->currentInlet = position;
  reinterpret_cast<FloatMethod>(method->second)(x->record, value);
  x->currentInlet = 0;
}

void deliver_one_float(PdObject* x, const host::Class::Bound& bound, int argc, const t_atom* argv) {
  const std::string name = quoted(bound.selector);
  if (argc == 0)
    print_error(name + " needs a number");
  else if (argv[0].a_type != A_FLOAT)
    print_error(name + " needs a number, not " +
                (argv[0].a_type == A_SYMBOL ? quoted(argv[0].a_w.w_symbol) : std::string("that")));
  else if (argc > 1)
    print_error(name + " takes one number, not " + std::to_string(argc));
  else
    reinterpret_cast<FloatMethod>(bound.method)(x->record, argv[0].a_w.w_float);
}
}  // namespace

void object_message(PdObject* x, t_symbol* selector, int argc, t_atom* argv) {
  CallContext context(x->objectClass, x);
  // Pd hands a bang or a symbol to a class's list method with no selector.
  if (selector == nullptr) selector = &s_list;
  const host::Class::Bound* bound = find_binding(x->objectClass, selector);
  if (bound == nullptr || x->record == nullptr) {
    print_error("no method for " + quoted(selector));
    return;
  }
  if (!all_numbers_finite(argc, argv)) {
    print_error(quoted(selector) + " needs finite numbers");
    return;
  }
  switch (bound->kind) {
    case host::ARG_FLOAT:
      deliver_one_float(x, *bound, argc, argv);
      return;
    case host::ARG_LIST:
      deliver_list(x, bound->method, 0, argc, argv);
      return;
    default:
      if (argc > 0)
        print_error(quoted(selector) + " takes no argument");
      else
        reinterpret_cast<BareMethod>(bound->method)(x->record);
      return;
  }
}

// A whole number goes to the int method where the class has one, any other
// to the float method.
void object_left_float(PdObject* x, t_float value) {
  CallContext context(x->objectClass, x);
  if (!std::isfinite(value)) {
    print_error("a number in the left inlet must be finite");
    return;
  }
  x->leftInletValue = value;
  const host::Class* objectClass = x->objectClass;
  const bool whole = value == std::floor(value);
  if (objectClass->intMethod != nullptr && (whole || objectClass->floatMethod == nullptr))
    reinterpret_cast<IntMethod>(objectClass->intMethod)(x->record, host_runtime::saturate_to_int32(value));
  else if (objectClass->floatMethod != nullptr)
    reinterpret_cast<FloatMethod>(objectClass->floatMethod)(x->record, value);
}

void inlet_float(InletProxy* inlet, t_float value) {
  PdObject* x = inlet->owner;
  CallContext context(x->objectClass, x);
  if (!std::isfinite(value)) {
    print_error(inlet_text(inlet->position) + " needs a finite number");
  } else if (inlet->position >= first_list_inlet(x)) {
    t_atom atom;
    SETFLOAT(&atom, value);
    deliver_to_list_inlet(x, inlet->position, 1, &atom);
  } else {
    deliver_to_float_inlet(x, inlet->position, value);
  }
}

void inlet_list(InletProxy* inlet, t_symbol* /*selector*/, int argc, t_atom* argv) {
  PdObject* x = inlet->owner;
  CallContext context(x->objectClass, x);
  if (!all_numbers_finite(argc, argv))
    print_error(inlet_text(inlet->position) + " needs finite numbers");
  else if (inlet->position >= first_list_inlet(x))
    deliver_to_list_inlet(x, inlet->position, argc, argv);
  else if (argc == 1 && argv[0].a_type == A_FLOAT)
    deliver_to_float_inlet(x, inlet->position, argv[0].a_w.w_float);
  else
    print_error(inlet_text(inlet->position) + " takes one number");
}

void inlet_anything(InletProxy* inlet, t_symbol* /*selector*/, int /*argc*/, t_atom* /*argv*/) {
  PdObject* x = inlet->owner;
  CallContext context(x->objectClass, x);
  if (inlet->position >= first_list_inlet(x))
    print_error(inlet_text(inlet->position) + " takes lists only");
  else
    print_error(inlet_text(inlet->position) + " takes one number");
}

// Pd's signals come inlets first, then outlets, as the object expects them.
// Pd always gives the left inlet a signal; an object without signal inlets
// does not see it.
void object_dsp(PdObject* x, t_signal** pdSignals) {
  CallContext context(x->objectClass, x);
  const host::Class::Bound* dsp = find_binding(x->objectClass, gensym("dsp"));
  if (dsp == nullptr || x->record == nullptr) return;
  const int pdInlets = x->signalInlets > 0 ? x->signalInlets : 1;
  const int skipped = pdInlets - x->signalInlets;
  std::vector<host::Signal> signals;
  for (int i = skipped; i < pdInlets + x->signalOutlets; i++)
    signals.push_back({pdSignals[i]->s_n, pdSignals[i]->s_vec, pdSignals[i]->s_sr});
  std::vector<host::Signal*> pointers;
  for (host::Signal& signal : signals) pointers.push_back(&signal);
  // Pd does not tell the dsp method how many connections each has; the
  // objects do not read them.
  std::vector<short> connections(signals.size(), 1);
  dspRunning = true;
  reinterpret_cast<DspMethod>(dsp->method)(x->record, pointers.data(), connections.data());
  dspRunning = false;
}

}  // namespace pd_host

namespace host {

static_assert(sizeof(Word) == sizeof(t_int), "a perform argument is one Pd word");

void dsp_add(PerformRoutine perform, int count, ...) {
  if (!pd_host::dspRunning || count < 0) {
    pd_host::print_error("dsp_add: only the dsp method adds to the signal chain");
    return;
  }
  std::vector<t_int> words(static_cast<size_t>(count));
  va_list arguments;
  va_start(arguments, count);
  for (int i = 0; i < count; i++) words[static_cast<size_t>(i)] = va_arg(arguments, Word);
  va_end(arguments);
  dsp_addv(reinterpret_cast<t_perfroutine>(perform), count, words.data());
}

// Pd takes an object out of the signal chain by itself: it stops the chain
// before deleting an object and builds it anew afterwards.
void z_dsp_free(void* /*record*/) {}

}  // namespace host
