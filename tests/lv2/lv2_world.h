// The bundle loaded in-process through lilv: each plug-in's control ports as
// the Turtle describes them, and instances run with a log and a URID map of
// the test's own, so that the tests read what the plug-ins print.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>

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

// The message the adapter sends for this value: "time 500", "2: -6", "just".
std::string message_for(const ControlPort& port, float value);

const LilvPlugin* find_plugin(const std::string& object);
std::vector<ControlPort> control_ports(const std::string& object);
std::vector<std::string> all_objects();
// The port values of the plug-in's presets, by symbol, one map per preset.
std::vector<std::map<std::string, float>> preset_values(const std::string& object);

// One instance at 44100 Hz with buffers of its own for every port.
class Lv2Instance {
 public:
  explicit Lv2Instance(const std::string& object);
  ~Lv2Instance();
  bool created() const { return instance_ != nullptr; }

  void set(const std::string& symbol, float value);
  // Queues a MIDI message for the next run.
  void midi(uint8_t status, uint8_t note, uint8_t velocity);
  // Runs the input through in blocks of the given sizes, repeated in turn
  // until the input ends; returns the outputs.
  Channels run(const Channels& input, const std::vector<int>& blockSizes);
  // The log lines printed so far ("error: grainfall~: ..."), and forgets
  // them. A line logged during a run as anything but a trace, which the
  // audio thread may not log, reads "not a trace: ...".
  std::vector<std::string> log();
  // The value in the latency port after the last run.
  float latency() const;

  struct Host;

 private:
  const LilvPlugin* plugin_;
  LilvInstance* instance_ = nullptr;
  std::unique_ptr<Host> host_;
  std::vector<float> controls_;  // by port index
  std::vector<uint32_t> audioIn_, audioOut_;
  int notesPort_ = -1;
  int latencyPort_ = -1;
  std::vector<uint8_t> notes_;  // atom sequence buffer
  LV2_Atom_Forge forge_;
  LV2_Atom_Forge_Frame frame_;
};
