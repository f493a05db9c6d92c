// What the LV2 host keeps behind the host interface: the class a plug-in's
// main registers, and per instance the record, its ports as the host
// connected them, and the perform routine its dsp method added.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/log/logger.h>
#include <lv2/urid/urid.h>

#include <map>
#include <string>
#include <vector>

#include "host.h"
#include "lv2_host.h"

struct host::Class {
  const char* name = nullptr;  // "grainfall~"
  host::Method newRoutine = nullptr;
  host::Method freeRoutine = nullptr;
  long recordSize = 0;
  struct Bound {
    std::string selector;
    int kind;
    host::Method method;
  };
  std::vector<Bound> bindings;              // addmess, in order
  std::map<int, host::Method> floatInlets;  // addftx
};

namespace lv2_host {

// A control input port and the message its value becomes.
struct Control {
  uint32_t port;
  const float* value = nullptr;  // as connected
  float lastValue = 0.0f;        // what was last delivered (at first the default)
  host::Method method = nullptr; // one-number message or float inlet
  int inlet = 0;                 // for proxy_getinlet: 0, or the float inlet
  std::vector<host::Method> choices;  // messages without argument, by value
  std::string finiteError;       // printed for NaN and infinities
  std::string choiceError;       // printed for a value with no choice
};

// Enough for record, a dozen vectors and the block size.
constexpr int MAX_PERFORM_ARGUMENTS = 16;

struct Plugin {
  const ObjectInfo* object = nullptr;
  host::Class* objectClass = nullptr;
  void* record = nullptr;
  double sampleRate = 44100.0;
  // Counted while the object's new routine runs.
  int signalInlets = 0;
  int signalOutlets = 0;
  int currentInlet = 0;

  std::vector<const float*> inputs;  // audio ports as connected, in order
  std::vector<float*> outputs;
  std::vector<uint32_t> inputPorts;  // their port indexes
  std::vector<uint32_t> outputPorts;
  std::vector<Control> controls;
  uint32_t notesPort = UINT32_MAX;
  const LV2_Atom_Sequence* notes = nullptr;
  host::Method listMethod = nullptr;
  LV2_URID midiEvent = 0;
  LV2_Log_Logger logger{};

  // The chain: perform(words) with words[1..wordCount] its arguments, the
  // record first, then the vectors, then the block size.
  host::PerformRoutine perform = nullptr;
  host::Word words[MAX_PERFORM_ARGUMENTS + 1] = {};
  int wordCount = 0;
  int dspBlockSize = 0;  // the largest block so far; 0 before the first run
  bool inDsp = false;
  bool running = false;  // inside run: on the audio thread
};

// The plug-in's class, registering it by running main the first time.
host::Class* load_class(const ObjectInfo& object, int (*objectMain)());

// The instance whose new routine, message or dsp method runs on this thread,
// for console lines and dsp_add; null outside those calls.
Plugin* current_plugin();
class CallContext {
 public:
  explicit CallContext(Plugin* plugin);
  ~CallContext();
  CallContext(const CallContext&) = delete;
  CallContext& operator=(const CallContext&) = delete;

 private:
  Plugin* saved_;
};
// One console line, "error: NAME: TEXT", in the current instance's log.
void print_error(const char* text);

// Ports: matching the object's inlets and bindings, at instantiation; the
// messages of changed controls and of MIDI notes, before each run.
bool bind_ports(Plugin& plugin);
void deliver_control_changes(Plugin& plugin);
void deliver_notes(Plugin& plugin);

// The chain: runs the dsp method for this block size; no perform routine
// if its arguments are not record, vectors and block size.
void build_chain(Plugin& plugin, int blockSize);
void run_chain(Plugin& plugin, int blockSize);

}  // namespace lv2_host
