// The LV2 host: the plug-in's main registers its one class with the host
// core; each LV2 instance holds one instance of the core, its ports as the
// host connected them, and the message each control port sends.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/log/logger.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <pthread.h>

#include <atomic>
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
  bool costly = false;  // its method goes to the host's worker, where there is one
};

// How the object's chain meets the host's cycles (cycles.cpp).
struct Timing {
  // True: every cycle runs straight through the chain (in pieces of at most
  // blockLength), as the object sounds the same however its input is cut
  // into blocks. False: the chain runs on whole blocks of blockLength
  // behind a FIFO, which delays the output by blockLength - 1 samples.
  bool anyCycle = false;
  int blockLength = 64;
  int latency = 0;  // the FIFO's and the object's own, in samples
};

struct Plugin {
  const ObjectInfo* object = nullptr;
  core::Instance* instance = nullptr;
  float sampleRate = 44100.0f;
  Timing timing;
  bool active = false;  // the chain is built
  int filled = 0;       // samples of the block in hand already in the FIFO

  std::vector<const float*> inputs;  // audio ports as connected, in order
  std::vector<float*> outputs;
  std::vector<uint32_t> inputPorts;  // their port indexes
  std::vector<uint32_t> outputPorts;
  std::vector<Control> controls;
  uint32_t notesPort = UINT32_MAX;
  uint32_t latencyPort = UINT32_MAX;
  float* latency = nullptr;  // as connected
  const LV2_Atom_Sequence* notes = nullptr;
  const LV2_Atom_Event* nextNote = nullptr;  // the first note of this run not yet delivered
  core::Message note;  // "list" NOTE VELOCITY, to the list inlet
  LV2_URID midiEvent = 0;
  const LV2_Worker_Schedule* worker = nullptr;
  LV2_Log_Logger logger{};
  // The thread inside run, while it is there; read by the worker's thread.
  std::atomic<bool> running{false};
  std::atomic<pthread_t> audioThread{};
};

// Console lines go to the instance's log, else to stderr; those printed on
// the audio thread (inside run) as traces.
void print_to_log(const core::Context& context, bool isError, const char* text);
// Marks the calling thread as the plug-in's audio thread while it lives.
class AudioThread {
 public:
  explicit AudioThread(Plugin& plugin);
  ~AudioThread();
  AudioThread(const AudioThread&) = delete;
  AudioThread& operator=(const AudioThread&) = delete;

 private:
  Plugin& plugin_;
};

// Runs the object in the processor's default floating-point mode while it
// lives (float_mode.cpp).
class DefaultFloatingPoint {
 public:
  DefaultFloatingPoint();
  ~DefaultFloatingPoint();
  DefaultFloatingPoint(const DefaultFloatingPoint&) = delete;
  DefaultFloatingPoint& operator=(const DefaultFloatingPoint&) = delete;

 private:
  unsigned int hostMode_;
};

// Ports: matching the object's inlets and bindings, at instantiation; the
// messages of changed controls and of MIDI notes, before each run.
bool bind_ports(Plugin& plugin);
void deliver_control_changes(Plugin& plugin);
// Delivers one control's value (a worker job, or a change in run).
void deliver_control(Plugin& plugin, Control& control, float value);
// Notes of this run: start from the first, then deliver those before a
// frame of the run.
void restart_notes(Plugin& plugin);
void deliver_notes_before(Plugin& plugin, uint32_t frame);
// The frame of the first note not yet delivered; INT64_MAX when none is left.
int64_t next_note_frame(const Plugin& plugin);

// Timing: what the object needs from its blocks, for the host's nominal
// block length (0 when the host gives none).
Timing timing_for(const ObjectInfo& object, int nominalBlockLength);

// After the dsp call: an empty FIFO, and the words an object that runs
// straight points at the host's buffers.

// Runs one host cycle through the chain, straight or behind the FIFO.
void run_cycle(Plugin& plugin, uint32_t sampleCount);

// The worker: a costly control change is handed to it from run, and
// delivered on the worker's thread. False when the host offers no worker
// or its queue is full.
bool schedule_control(Plugin& plugin, const Control& control, float value);
const void* worker_interface();

}  // namespace lv2_host
