// The stand-in host: loads object plug-ins by name, creates instances,
// delivers messages, builds the signal chain and runs it block by block.
// The tildefx tool and the tests use it through this API.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host.h"

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

// Folders searched for OBJECT.so, in order: those given with
// set_extra_plugin_folders, then those in TILDEFX_PATH (colon-separated),
// then the build's plug-in folder.
void set_extra_plugin_folders(const std::vector<std::string>& folders);
std::vector<std::string> plugin_folders();

// Names of the objects whose plug-ins lie in the search folders, sorted.
std::vector<std::string> list_objects();

// ---- Messages ------------------------------------------------------------

struct Value {
  bool isNumber;
  bool isInteger;  // written without a fraction or exponent
  double number;
  std::string word;
};

// A message as a patching host's message box holds it, addressed to an inlet.
// A message that starts with a number has the selector "float", "int" (one
// number) or "list" (several).
struct Message {
  int inlet = 0;
  std::string selector;
  std::vector<Value> arguments;
};

// Reads a whole text as a number ("500", "-0.5", "1e3", also "nan" and "inf").
bool parse_number(const std::string& text, double& number);

// Parses "time 500", "12tet", "0.5", "60 100", "2: -6" or "1: 60 100".
// Returns false and sets errorText for an empty or malformed text.
bool parse_message(const std::string& text, Message& message, std::string& errorText);

// ---- Instances -----------------------------------------------------------

enum class InletKind { Signal, Float, List };

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
  // size. With inPlace, each outlet shares its vector with the inlet of the
  // same index. Returns false (with a console error) for a rate that is not
  // positive and finite or a negative block size.
  bool dsp(float sampleRate, int blockSize, bool inPlace = false);
  int block_size() const;
  // Runs the chain for one block: inputs[i] feeds signal inlet i, outputs[j]
  // receives signal outlet j, each block_size() samples long.
  void process(const float* const* inputs, float* const* outputs);

  // The instance record, for tests that read an object's fields.
  void* record() const;

  struct Data;

 private:
  explicit Instance(Data* data);
  Data* data_;
};

// ---- Test hooks ----------------------------------------------------------

// Makes every allocation larger than maxBytes fail (0: no limit).
void limit_allocations(size_t maxBytes);
// Makes the nth allocation from now fail, once (1: the next one; 0: none).
// Instance records from newobject count, as do the objects' own blocks.
void fail_allocation(long n);
// Restarts the runtime generator that rand() draws from.
void seed_rand(uint32_t state);

}  // namespace standin
