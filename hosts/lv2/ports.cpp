// The ports as messages. Each control port stands for a one-number message
// (its symbol is the selector), a float inlet, or a choice of messages
// without argument; before each run, a control whose value changed since it
// was last delivered is delivered again, so the object checks its range and
// starts its ramps and glides as in any host. A costly control goes to the
// host's worker instead, where there is one. MIDI notes become the object's
// note lists. Every message is made at instantiation: a run only changes
// their numbers.
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "internal.h"

namespace lv2_host {

namespace {
bool report_missing(const std::string& what) {
  core::print_line(true, "the object has no %s for its port", what.c_str());
  return false;
}

core::Message number_message(int inlet, const std::string& selector) {
  core::Message message;
  message.inlet = inlet;
  message.selector = selector;
  message.arguments.resize(1);
  message.arguments[0].isNumber = true;
  return message;
}

bool bind_control(Plugin& plugin, uint32_t index, const PortInfo& port) {
  const host::Class& objectClass = *plugin.instance->objectClass;
  Control control;
  control.port = index;
  control.lastValue = port.defaultValue;
  control.costly = port.costly;
  if (port.selectors != nullptr) {
    std::istringstream words(port.selectors);
    for (std::string selector; words >> selector;) {
      const core::Binding* binding = core::find_binding(objectClass, selector.c_str());
      if (binding == nullptr || binding->kind != host::ARG_END) return report_missing("message '" + selector + "'");
      core::Message choice;
      choice.selector = selector;
      control.choices.push_back(choice);
    }
    if (control.choices.empty()) return report_missing("message for each value");
  } else if (port.inlet >= 0) {
    if (objectClass.floatInlets.count(port.inlet) == 0) return report_missing("inlet " + std::to_string(port.inlet));
    control.message = number_message(port.inlet, "float");
  } else {
    const core::Binding* binding = core::find_binding(objectClass, port.symbol);
    if (binding == nullptr || binding->kind != host::ARG_FLOAT)
      return report_missing(std::string("message '") + port.symbol + "'");
    control.message = number_message(0, port.symbol);
  }
  plugin.controls.push_back(std::move(control));
  return true;
}

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

void deliver_control(Plugin& plugin, Control& control, float value) {
  if (control.choices.empty()) {
    control.message.arguments[0].number = value;
    core::deliver(*plugin.instance, control.message);
  } else if (value >= 0.0f && value < static_cast<float>(control.choices.size())) {
    core::deliver(*plugin.instance, control.choices[static_cast<size_t>(value)]);
  } else {
    core::CallScope scope(plugin.instance->objectClass, plugin.instance);
    core::print_line(true, "'%s' takes a whole number from 0 to %d", plugin.object->ports[control.port].symbol,
                     static_cast<int>(control.choices.size()) - 1);
  }
}

namespace {

// An event's time and size, read byte by byte: a host may hand a sequence
// that is not 64-bit aligned (jalv's is not always).
LV2_Atom_Event header_of(const LV2_Atom_Event* event) {
  LV2_Atom_Event header;
  std::memcpy(&header, event, sizeof header);
  return header;
}

// Note-on with a velocity above 0 holds, note-off or velocity 0 releases.
void deliver_note(Plugin& plugin, const uint8_t* message, uint32_t size) {
  if (size < 3) return;
  const uint8_t type = lv2_midi_message_type(message);
  if (type != LV2_MIDI_MSG_NOTE_ON && type != LV2_MIDI_MSG_NOTE_OFF) return;
  plugin.note.arguments[0].number = message[1];
  plugin.note.arguments[1].number = type == LV2_MIDI_MSG_NOTE_ON ? message[2] : 0.0;
  core::deliver(*plugin.instance, plugin.note);
}

bool bind_notes(Plugin& plugin, uint32_t index) {
  const core::Instance& instance = *plugin.instance;
  if (instance.listInlets == 0) return report_missing("list inlet");
  plugin.notesPort = index;
  plugin.note = number_message(core::inlet_count(instance) - instance.listInlets, "list");
  plugin.note.arguments.resize(2, plugin.note.arguments[0]);
  for (core::Value& value : plugin.note.arguments) value.isInteger = true;
  return true;
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
        if (!bind_notes(plugin, index)) return false;
        break;
      case PortKind::Control:
        if (!bind_control(plugin, index, port)) return false;
        break;
      case PortKind::Latency:
        plugin.latencyPort = index;
        break;
    }
  }
  if (plugin.inputPorts.size() != static_cast<size_t>(plugin.instance->signalInlets) ||
      plugin.outputPorts.size() != static_cast<size_t>(plugin.instance->signalOutlets)) {
    core::print_line(true, "the audio ports do not match the object's signal inlets and outlets");
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
    // A change the worker's queue cannot take yet is tried again next run.
    if (control.costly && plugin.worker != nullptr) {
      if (schedule_control(plugin, control, value)) control.lastValue = value;
      continue;
    }
    control.lastValue = value;
    deliver_control(plugin, control, value);
  }
}

void restart_notes(Plugin& plugin) {
  const bool readable = plugin.notes != nullptr && plugin.midiEvent != 0;
  plugin.nextNote = readable ? lv2_atom_sequence_begin(&plugin.notes->body) : nullptr;
  if (readable && lv2_atom_sequence_is_end(&plugin.notes->body, plugin.notes->atom.size, plugin.nextNote))
    plugin.nextNote = nullptr;
}

int64_t next_note_frame(const Plugin& plugin) {
  return plugin.nextNote != nullptr ? header_of(plugin.nextNote).time.frames : INT64_MAX;
}

void deliver_notes_before(Plugin& plugin, uint32_t frame) {
  const LV2_Atom_Sequence* notes = plugin.notes;
  while (plugin.nextNote != nullptr) {
    const LV2_Atom_Event* event = plugin.nextNote;
    const LV2_Atom_Event header = header_of(event);
    if (header.time.frames >= frame) return;
    if (header.body.type == plugin.midiEvent)
      deliver_note(plugin, reinterpret_cast<const uint8_t*>(event + 1), header.body.size);
    const auto* next = reinterpret_cast<const uint8_t*>(event + 1) + lv2_atom_pad_size(header.body.size);
    plugin.nextNote = reinterpret_cast<const LV2_Atom_Event*>(next);
    if (lv2_atom_sequence_is_end(&notes->body, notes->atom.size, plugin.nextNote)) plugin.nextNote = nullptr;
  }
}

}  // namespace lv2_host
