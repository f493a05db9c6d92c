// The stand-in host: loads object plug-ins by name, creates instances,
// delivers messages, builds the signal chain and runs it block by block.
// The tildefx tool and the tests use it through this API.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core.h"

namespace standin {

// ---- Console -------------------------------------------------------------

struct ConsoleLine {
  std::string object;  // the object that printed it, or "tildefx" for the host
  bool isError;
  std::string text;
};

// Returns the lines printed since the last call, oldest first, and forgets them.
std::vector<ConsoleLine> take_console_lines();

// "error: OBJECT: TEXT" or "OBJECT: TEXT".
std::string format_console_line(const ConsoleLine& line);

// ---- Plug-ins ------------------------------------------------------------

// Folders searched for OBJECT.so (OBJECT.mxe on Windows), in order: those
// given with set_extra_plugin_folders, then those in TILDEFX_PATH
// (colon-separated; semicolons on Windows), then the built-in folder (see
// platform.h).
void set_extra_plugin_folders(const std::vector<std::string>& folders);
std::vector<std::string> plugin_folders();

// Names of the objects whose plug-ins lie in the search folders, sorted.
std::vector<std::string> list_objects();

// ---- Messages ------------------------------------------------------------

// A message as a patching host's message box holds it, addressed to an inlet
// (see core.h).
using Value = core::Value;
using Message = core::Message;

// Reads a whole text as a number ("500", "-0.5", "1e3", also "nan" and "inf").
bool parse_number(const std::string& text, double& number);

// Parses "time 500", "12tet", "0.5", "60 100", "2: -6" or "1: 60 100".
// Returns false and sets errorText for an empty or malformed text.
bool parse_message(const std::string& text, Message& message, std::string& errorText);

// ---- Instances -----------------------------------------------------------

using core::InletKind;

struct Binding {
  std::string selector;
  int kind;  // host::ArgumentKind, or ARG_END for no argument
};

// What a class offers, read from its registration.
struct ClassInfo {
  std::string name;
  std::vector<Binding> messages;  // user-visible selectors, in binding order
  std::vector<int> floatInlets;   // numbers bound with addftx, ascending
  bool takesInt;
  bool takesFloat;
};

class Instance {
 public:
  // Loads the plug-in if needed and runs the object's new routine. Returns
  // null after printing a console error when that fails.
  static std::unique_ptr<Instance> create(const std::string& objectName);
  ~Instance();  // runs the object's free routine
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  const std::string& name() const;
  ClassInfo class_info() const;
  int inlet_count() const;
  InletKind inlet_kind(int position) const;
  int signal_inlets() const;
  int signal_outlets() const;
  // The assist text of a connection; empty when the object writes none.
  std::string assist(bool outlet, int index) const;

  // Delivers a message; bad input prints a console error and changes nothing.
  void send(const Message& message);
  // Parses and delivers a message text; false if it could not be parsed.
  bool send_text(const std::string& text);

  // Builds the signal chain: the dsp method runs with this rate and block
  // size, on vectors the host holds. With inPlace, each outlet shares its
  // vector with the inlet of the same index. Returns false (with a console
  // error) for a rate that is not positive and finite or a negative block
  // size.
  bool dsp(float sampleRate, int blockSize, bool inPlace = false);
  int block_size() const;
  // The vectors of the chain, block_size() samples each: a block is written
  // into the inlets' vectors, run, and read from the outlets' vectors.
  float* inlet_vector(int inlet);
  const float* outlet_vector(int outlet) const;
  // Runs the chain for one block. False once the object has written
  // outside its own fields.
  bool run();

  // The instance record, for tests that read an object's fields.
  void* record() const;

  // False once the object has written into the host's header or past its
  // record (a console line said so).
  bool intact() const;

 private:
  explicit Instance(core::Instance* instance);
  core::Instance* core_;
};

// ---- Test hooks ----------------------------------------------------------

// Failing allocations and restarting rand's generator (see core.h).
using core::damaged_records;
using core::fail_allocation;
using core::limit_allocations;
using core::seed_rand;

}  // namespace standin
