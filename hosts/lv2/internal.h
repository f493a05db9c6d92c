// The LV2 host: the plug-in's main registers its one class with the host
// core; each LV2 instance holds one instance of the core, its ports as the
// host connected them, and the message each control port sends.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/log/logger.h>
#include <lv2/urid/urid.h>

#include <vector>

#include "core.h"
#include "lv2_host.h"

namespace lv2_host {

// A control input port and the message its value becomes.
struct Control {
  uint32_t port;
  const float* value = nullptr;  // as connected
  float lastValue = 0.0f;        // what was last delivered (at first the default)
  // A one-number message or a number for a float inlet, whose argument is
  // the port's value; or, for a choice, one message without argument per
  // value.
  core::Message message;
  std::vector<core::Message> choices;
};

struct Plugin {
  const ObjectInfo* object = nullptr;
  core::Instance* instance = nullptr;
  float sampleRate = 44100.0f;

  std::vector<const float*> inputs;  // audio ports as connected, in order
  std::vector<float*> outputs;
  std::vector<uint32_t> inputPorts;  // their port indexes
  std::vector<uint32_t> outputPorts;
  std::vector<Control> controls;
  uint32_t notesPort = UINT32_MAX;
  uint32_t latencyPort = UINT32_MAX;
  float* latency = nullptr;  // as connected
  const LV2_Atom_Sequence* notes = nullptr;
  core::Message note;  // "list" NOTE VELOCITY, to the list inlet
  LV2_URID midiEvent = 0;
  LV2_Log_Logger logger{};
  bool running = false;  // inside run: on the audio thread
};

// Console lines go to the instance's log, else to stderr.
void print_to_log(const core::Context& context, bool isError, const char* text);

// Ports: matching the object's inlets and bindings, at instantiation; the
// messages of changed controls and of MIDI notes, before each run.
bool bind_ports(Plugin& plugin);
void deliver_control_changes(Plugin& plugin);
void deliver_notes(Plugin& plugin);

}  // namespace lv2_host
