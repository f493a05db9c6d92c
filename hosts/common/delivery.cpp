// Checked delivery: a message reaches the method bound for its selector or
// inlet only when its arguments fit the binding's kind. Bad input gets one
// console line and reaches no method.
#include <cmath>

#include "core.h"

namespace core {

namespace {
using FloatMethod = void (*)(void*, double);
using IntMethod = void (*)(void*, int32_t);
using BareMethod = void (*)(void*);
using ListMethod = void (*)(void*, host::Symbol*, short, host::Atom*);

// More atoms than a list method's count can say are refused.
constexpr size_t MAX_LIST_ATOMS = 32767;
// Lists up to this long are built without an allocation.
constexpr size_t LOCAL_ATOMS = 16;

bool is_number_selector(const std::string& selector) { return selector == "int" || selector == "float"; }

bool all_numbers_finite(const Message& message) {
  for (const Value& value : message.arguments)
    if (value.isNumber && !std::isfinite(value.number)) return false;
  return true;
}

host::Atom atom_of(const Value& value) {
  host::Atom atom{};
  if (!value.isNumber) {
    atom.type = host::ATOM_SYMBOL;
    atom.value.symbol = symbol(value.word.c_str());
  } else if (value.isInteger) {
    atom.type = host::ATOM_LONG;
    atom.value.integer = saturate_to_int32(value.number);
  } else {
    atom.type = host::ATOM_FLOAT;
    atom.value.number = static_cast<float>(value.number);
  }
  return atom;
}

void deliver_list(Instance& instance, const Binding& list, const Message& message) {
  const size_t count = message.arguments.size();
  if (count > MAX_LIST_ATOMS) {
    print_line(true, "a list may hold at most %d atoms", static_cast<int>(MAX_LIST_ATOMS));
    return;
  }
  host::Atom local[LOCAL_ATOMS];
  std::vector<host::Atom> many(count > LOCAL_ATOMS ? count : 0);
  host::Atom* atoms = count > LOCAL_ATOMS ? many.data() : local;
  for (size_t i = 0; i < count; i++) atoms[i] = atom_of(message.arguments[i]);
  reinterpret_cast<ListMethod>(list.method)(instance.record, list.selector, static_cast<short>(count), atoms);
}

// A number in the left inlet: the int method takes whole numbers where the
// class has one, the float method everything else.
void deliver_number(Instance& instance, const Message& message) {
  const host::Class& objectClass = *instance.objectClass;
  if (message.arguments.size() != 1 || !message.arguments[0].isNumber) {
    print_line(true, "'%s' needs one number", message.selector.c_str());
    return;
  }
  const Value& value = message.arguments[0];
  const bool preferInt = value.isInteger || objectClass.floatMethod == nullptr;
  if (preferInt && objectClass.intMethod != nullptr)
    reinterpret_cast<IntMethod>(objectClass.intMethod)(instance.record, saturate_to_int32(value.number));
  else if (objectClass.floatMethod != nullptr)
    reinterpret_cast<FloatMethod>(objectClass.floatMethod)(instance.record, value.number);
  else
    print_line(true, "no method for '%s'", message.selector.c_str());
}

void deliver_one_float(Instance& instance, const Binding& binding, const Message& message) {
  const char* name = message.selector.c_str();
  const size_t count = message.arguments.size();
  if (count == 0)
    print_line(true, "'%s' needs a number", name);
  else if (!message.arguments[0].isNumber)
    print_line(true, "'%s' needs a number, not '%s'", name, message.arguments[0].word.c_str());
  else if (count > 1)
    print_line(true, "'%s' takes one number, not %d", name, static_cast<int>(count));
  else
    reinterpret_cast<FloatMethod>(binding.method)(instance.record, message.arguments[0].number);
}

void deliver_selector(Instance& instance, const Message& message) {
  const Binding* binding = find_binding(*instance.objectClass, message.selector.c_str());
  const char* name = message.selector.c_str();
  if (binding == nullptr) {
    print_line(true, "no method for '%s'", name);
    return;
  }
  switch (binding->kind) {
    case host::ARG_PRIVATE:
      print_line(true, "'%s' is called by the host and cannot be sent", name);
      return;
    case host::ARG_FLOAT:
      deliver_one_float(instance, *binding, message);
      return;
    case host::ARG_LIST:
      deliver_list(instance, *binding, message);
      return;
    default:
      if (!message.arguments.empty())
        print_line(true, "'%s' takes no argument", name);
      else
        reinterpret_cast<BareMethod>(binding->method)(instance.record);
      return;
  }
}

void deliver_to_float_inlet(Instance& instance, const Message& message) {
  const auto method = instance.objectClass->floatInlets.find(message.inlet);
  if (!is_number_selector(message.selector) || message.arguments.size() != 1)
    print_line(true, "inlet %d takes one number", message.inlet);
  else if (method == instance.objectClass->floatInlets.end())
    print_line(true, "no method for inlet %d", message.inlet);
  else
    reinterpret_cast<FloatMethod>(method->second)(instance.record, message.arguments[0].number);
}

void deliver_to_list_inlet(Instance& instance, const Message& message) {
  const Binding* list = find_binding(*instance.objectClass, "list");
  if (message.selector != "list" && !is_number_selector(message.selector))
    print_line(true, "inlet %d takes lists only", message.inlet);
  else if (list == nullptr || list->kind != host::ARG_LIST)
    print_line(true, "no method for 'list'");
  else
    deliver_list(instance, *list, message);
}
}  // namespace

int32_t saturate_to_int32(double number) {
  if (std::isnan(number)) return 0;
  if (number >= 2147483647.0) return INT32_MAX;
  if (number <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(number);
}

void deliver(Instance& instance, const Message& message) {
  CallScope scope(instance.objectClass, &instance);
  const int inlet = message.inlet;
  if (inlet < 0 || inlet >= inlet_count(instance)) {
    print_line(true, "no inlet %d", inlet);
    return;
  }
  if (!all_numbers_finite(message)) {
    if (inlet > 0)
      print_line(true, "inlet %d needs finite numbers", inlet);
    else
      print_line(true, "'%s' needs finite numbers", message.selector.c_str());
    return;
  }
  instance.currentInlet = inlet;
  switch (inlet_kind(instance, inlet)) {
    case InletKind::Float:
      deliver_to_float_inlet(instance, message);
      break;
    case InletKind::List:
      deliver_to_list_inlet(instance, message);
      break;
    case InletKind::Signal:
      if (inlet > 0)
        print_line(true, "inlet %d takes signals only", inlet);
      else if (is_number_selector(message.selector))
        deliver_number(instance, message);
      else
        deliver_selector(instance, message);
      break;
  }
  instance.currentInlet = 0;
  check_record(instance);
}

}  // namespace core
