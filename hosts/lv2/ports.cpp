// The ports as messages. Each control port stands for a one-number message
// (its symbol is the selector), a float inlet, or a choice of messages
// without argument; before each run, a control whose value changed since it
// was last delivered is delivered again, so the object checks its range and
// starts its ramps and glides as in any host. MIDI notes become the object's
// note lists.
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "internal.h"

namespace lv2_host {

namespace {
using FloatMethod = void (*)(void*, double);
using BareMethod = void (*)(void*);
using ListMethod = void (*)(void*, int, host::Atom*);

host::Method find_binding(const host::Class& objectClass, const std::string& selector, int kind) {
  for (const host::Class::Bound& bound : objectClass.bindings)
    if (bound.selector == selector && bound.kind == kind) return bound.method;
  return nullptr;
}

bool report_missing(const std::string& what) {
  print_error(("the object has no " + what + " for its port").c_str());
  return false;
}

bool bind_control(Plugin& plugin, uint32_t index, const PortInfo& port) {
  const host::Class& objectClass = *plugin.objectClass;
  Control control;
  control.port = index;
  control.lastValue = port.defaultValue;
  std::string name = std::string("'") + port.symbol + "'";
  if (port.selectors != nullptr) {
    std::istringstream words(port.selectors);
    std::string selector;
    while (words >> selector) {
      host::Method method = find_binding(objectClass, selector, host::ARG_END);
      if (method == nullptr) return report_missing("message '" + selector + "'");
      control.choices.push_back(method);
    }
    if (control.choices.empty()) return report_missing("message for each value");
    control.choiceError = name + " takes a whole number from 0 to " +
                          std::to_string(control.choices.size() - 1);
  } else if (port.inlet >= 0) {
    auto inlet = objectClass.floatInlets.find(port.inlet);
    if (inlet == objectClass.floatInlets.end()) return report_missing("inlet " + std::to_string(port.inlet));
    control.method = inlet->second;
    control.inlet = port.inlet;
    name = "inlet " + std::to_string(port.inlet) + " (" + name + ")";
  } else {
    control.method = find_binding(objectClass, port.symbol, host::ARG_FLOAT);
    if (control.method == nullptr) return report_missing("message " + name);
  }
  control.finiteError = name + " needs a finite number";
  plugin.controls.push_back(std::move(control));
  return true;
}

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

void deliver(Plugin& plugin, const Control& control, float value) {
  if (!std::isfinite(value)) {
    print_error(control.finiteError.c_str());
  } else if (!control.choices.empty()) {
    if (value >= 0.0f && value < static_cast<float>(control.choices.size()))
      reinterpret_cast<BareMethod>(control.choices[static_cast<size_t>(value)])(plugin.record);
    else
      print_error(control.choiceError.c_str());
  } else {
    plugin.currentInlet = control.inlet;
    reinterpret_cast<FloatMethod>(control.method)(plugin.record, value);
    plugin.currentInlet = 0;
  }
}

// Note-on with a velocity above 0 holds, note-off or velocity 0 releases.
void deliver_note(Plugin& plugin, const uint8_t* message, uint32_t size) {
  if (size < 3) return;
  const uint8_t type = lv2_midi_message_type(message);
  if (type != LV2_MIDI_MSG_NOTE_ON && type != LV2_MIDI_MSG_NOTE_OFF) return;
  const double velocity = type == LV2_MIDI_MSG_NOTE_ON ? message[2] : 0.0;
  host::Atom atoms[2] = {{host::AtomType::Long, static_cast<double>(message[1]), nullptr},
                         {host::AtomType::Long, velocity, nullptr}};
  reinterpret_cast<ListMethod>(plugin.listMethod)(plugin.record, 2, atoms);
}
}  // namespace

bool bind_ports(Plugin& plugin) {
  const ObjectInfo& object = *plugin.object;
  for (uint32_t index = 0; index < object.portCount; index++) {
    const PortInfo& port = object.ports[index];
    switch (port.kind) {
      case PortKind::AudioIn:
        plugin.inputPorts.push_back(index);
        break;
      case PortKind::AudioOut:
        plugin.outputPorts.push_back(index);
        break;
      case PortKind::Notes:
        plugin.notesPort = index;
        plugin.listMethod = find_binding(*plugin.objectClass, "list", host::ARG_LIST);
        if (plugin.listMethod == nullptr) return report_missing("'list' method");
        break;
      case PortKind::Control:
        if (!bind_control(plugin, index, port)) return false;
        break;
    }
  }
  if (plugin.inputPorts.size() != static_cast<size_t>(plugin.signalInlets) ||
      plugin.outputPorts.size() != static_cast<size_t>(plugin.signalOutlets)) {
    print_error("the audio ports do not match the object's signal inlets and outlets");
    return false;
  }
  plugin.inputs.assign(plugin.inputPorts.size(), nullptr);
  plugin.outputs.assign(plugin.outputPorts.size(), nullptr);
  return true;
}

void deliver_control_changes(Plugin& plugin) {
  for (Control& control : plugin.controls) {
    if (control.value == nullptr) continue;
    const float value = *control.value;
    if (bits_of(value) == bits_of(control.lastValue)) continue;
    control.lastValue = value;
    deliver(plugin, control, value);
  }
}

void deliver_notes(Plugin& plugin) {
  if (plugin.notes == nullptr || plugin.midiEvent == 0) return;
  LV2_ATOM_SEQUENCE_FOREACH(plugin.notes, event) {
    if (event->body.type == plugin.midiEvent)
      deliver_note(plugin, reinterpret_cast<const uint8_t*>(event + 1), event->body.size);
  }
}

}  // namespace lv2_host
