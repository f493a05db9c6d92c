// The bundle loaded in-process through lilv: each plug-in's control ports as
// the Turtle describes them, and instances run with a log and a URID map of
// the test's own, so that the tests read what the plug-ins print; on
// request also the host's nominal block length and a worker.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_files.h"

// A control input port.
struct ControlPort {
  std::string symbol;
  float minimum, maximum, defaultValue;
  int inlet;                           // the float inlet it feeds, or -1
  std::vector<std::string> selectors;  // the messages its values 0, 1, ... send
  bool integer;
  std::vector<std::string> labels;     // of its scale points, by value
  bool hasUnit;
};

// The float's exact value as a double, as the adapter hands it over.
std::string number_text(float value);
// The message the adapter sends for this value: "time 500", "2: -6", "just".
std::string message_for(const ControlPort& port, float value);

// A shell command with the build's bundle on LV2_PATH (before extraPath,
// if given) and, in a sanitizer build, the sanitizer runtimes that the
// plug-ins need preloaded.
std::string lv2_command(const std::string& command, const std::string& extraPath = "");

const LilvPlugin* find_plugin(const std::string& object);
// The control inputs, in port order.
std::vector<ControlPort> control_ports(const std::string& object);
std::vector<std::string> all_objects();
// The port values of the plug-in's presets, by symbol, one map per preset.
std::vector<std::map<std::string, float>> preset_values(const std::string& object);

// True while the plug-in's run is on this thread, outside its calls back
// into the test's host (its log, its worker's queue), which are the host's
// doing.
bool in_plugin_run();

// What the host offers besides its URID map and log.
struct HostOffer {
  int nominalBlockLength = 0;  // in its options; 0: no options
  bool worker = false;         // a worker, whose jobs wait for run_work
  bool misalignedNotes = false;  // the note sequence 4 bytes off 64-bit alignment
};

// One instance at 44100 Hz with buffers of its own for every port.
class Lv2Instance {
 public:
  explicit Lv2Instance(const std::string& object, HostOffer offer = {});
  ~Lv2Instance();
  bool created() const { return instance_ != nullptr; }

  void set(const std::string& symbol, float value);
  // Queues a MIDI message at a frame of the next run.
  void midi(uint8_t status, uint8_t note, uint8_t velocity, int64_t frame = 0);
  // Runs the input through in cycles of the given lengths, repeated in turn
  // until the input ends; beforeCycle(k, start), if given, runs before
  // cycle k, which starts at sample start. Returns the outputs.
  Channels run(const Channels& input, const std::vector<int>& cycleLengths,
               const std::function<void(size_t, size_t)>& beforeCycle = nullptr);
  // The value of the latency port after the last run.
  float latency() const { return latency_; }
  // Runs the jobs the plug-in gave the worker, as the worker's thread would;
  // returns how many there were.
  size_t run_work();
  // The log lines printed so far ("error: grainfall~: ..."), and forgets
  // them. A line logged during a run as anything but a trace, which the
  // audio thread may not log, reads "not a trace: ...".
  std::vector<std::string> log();

  struct Host;

 private:
  const LilvPlugin* plugin_;
  LilvInstance* instance_ = nullptr;
  std::unique_ptr<Host> host_;
  std::vector<float> controls_;  // by port index
  float latency_ = -1.0f;
  std::vector<uint32_t> audioIn_, audioOut_;
  int notesPort_ = -1;
  std::vector<uint8_t> notes_;  // atom sequence buffer, from notesStart_
  size_t notesStart_ = 0;
  LV2_Atom_Forge forge_;
  LV2_Atom_Forge_Frame frame_;
};
