// The host core: what every host of the objects does the same way. It
// implements the host interface (framework/host.h) once: classes and their
// bindings, instances with their records, checked delivery of messages, the
// dsp call and its chain, console lines and the runtime. A host adapter
// (the stand-in, Pd, LV2) adds only what differs for it: where plug-ins,
// audio vectors and messages come from, and where console lines go.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host.h"

namespace core {

struct Binding {
  host::Symbol* selector;
  int kind;  // host::ArgumentKind, ARG_END for no argument
  host::Method method;
};

}  // namespace core

// A class as its plug-in's main registers it.
struct host::Class {
  std::string name;  // "sidesplit~"
  host::Method newRoutine = nullptr;
  host::Method freeRoutine = nullptr;
  long recordSize = 0;
  std::vector<core::Binding> bindings;        // addmess, in order
  std::map<int, host::Method> floatInlets;    // addftx
  host::Method intMethod = nullptr;           // addint
  host::Method floatMethod = nullptr;         // addfloat
  bool signalClass = false;                   // z_add_signalmethod
};

namespace core {

// ---- Classes -------------------------------------------------------------

// Runs a plug-in's main, which registers its class under objectName. Null,
// after a console line, when it registers none. The class lives as long as
// the process (or the plug-in library that holds this core).
host::Class* load_class(const std::string& objectName, int (*pluginMain)());

const Binding* find_binding(const host::Class& objectClass, const char* selector);

// The one symbol of this name.
host::Symbol* symbol(const char* name);

// ---- Instances -----------------------------------------------------------

enum class InletKind { Signal, Float, List };

struct ChainEntry {
  host::PerformRoutine perform;
  std::vector<host::Word> words;  // words[0] unused, as w[0] of the perform routine
};

// One instance of a class: the object's record and what the host keeps
// beside it.
struct Instance {
  host::Class* objectClass = nullptr;
  void* record = nullptr;   // host header first, then the object's fields
  void* adapter = nullptr;  // the host adapter's own object for this instance
  bool intact = true;       // false once the object wrote outside its fields

  // Declared by the new routine.
  int signalInlets = 0;
  std::vector<int> floatInlets;  // numbers given to floatin
  int listInlets = 0;
  int signalOutlets = 0;
  int currentInlet = 0;  // the inlet of the message in hand

  // The signal chain, from the last dsp call.
  float sampleRate = 0.0f;
  int blockSize = 0;
  std::vector<ChainEntry> chain;
  std::vector<std::vector<float>> ownVectors;  // when the core holds the vectors
  std::vector<float*> vectors;                 // every inlet's, then every outlet's
};

// Runs the class's new routine. Null, after a console line, when the object
// cannot be created.
Instance* create_instance(host::Class* objectClass, void* adapter);
// Runs the free routine (the host's z_dsp_free for a class without one),
// checks the record and releases it.
void free_instance(Instance* instance);

// Signal inlets come first, float inlets stand at their numbers, and inlets
// made with inlet_new follow them all.
int inlet_count(const Instance& instance);
InletKind inlet_kind(const Instance& instance, int position);

// True while the host's header and the guard after the record hold what the
// host wrote. The first time they do not, prints one console line naming
// what the object overwrote.
bool check_record(Instance& instance);
// How many records, of every instance so far, were found damaged.
int damaged_records();

// ---- Messages ------------------------------------------------------------

// One argument of a message: a number, written as a whole number or not, or
// a word.
struct Value {
  bool isNumber = false;
  bool isInteger = false;
  double number = 0.0;
  std::string word;
};

// A message as a message box holds it, addressed to an inlet. A message of
// numbers alone has the selector "int" or "float" (one number) or "list".
struct Message {
  int inlet = 0;
  std::string selector;
  std::vector<Value> arguments;
};

// Delivers a message to the method bound for it, after checking it against
// the kind of its binding and its inlet. Bad input gets one console line and
// reaches no method.
void deliver(Instance& instance, const Message& message);

// A number as a 32-bit integer: truncated toward zero, held at the ends of
// the range; NaN gives 0.
int32_t saturate_to_int32(double number);

// ---- The signal chain ----------------------------------------------------

// Runs the dsp method with signal records for the given vectors, every
// inlet's then every outlet's, each blockSize samples, and keeps the perform
// routines it adds. False, after a console line, for a rate that is not
// positive and finite or a negative block size.
bool build_chain(Instance& instance, float sampleRate, int blockSize, const std::vector<float*>& vectors);
// The same on vectors the core holds (instance.vectors); with inPlace each
// outlet shares the vector of the inlet of the same index.
bool build_chain_on_own_vectors(Instance& instance, float sampleRate, int blockSize, bool inPlace);
// Runs every perform routine of the chain once.
void run_chain(Instance& instance);
// The same on the first `length` samples of the vectors, for a host whose
// blocks may be shorter than the chain was built for. Every perform
// routine takes the block length as its last argument, after the record
// and the vectors, as the dsp method adds them; it is given `length` for
// this run.
void run_chain_for(Instance& instance, int length);

// ---- Console -------------------------------------------------------------

// The class and instance a call into an object is made for: console lines
// name its object, and newobject, dsp_add and proxy_getinlet find it. Set
// around every call into an object, restored when it ends.
struct Context {
  host::Class* objectClass = nullptr;
  Instance* instance = nullptr;
};
class CallScope {
 public:
  CallScope(host::Class* objectClass, Instance* instance);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  Context saved_;
};
const Context& current_context();
// "sidesplit~", or "tildefx" outside any object.
const char* current_name();

// Where the adapter shows console lines; each line comes with the context
// it was printed in.
using ConsoleSink = void (*)(const Context& context, bool isError, const char* text);
void set_console(ConsoleSink sink);
// One console line in the current context, formatted as printf would.
void print_line(bool isError, const char* format, ...) __attribute__((format(printf, 2, 3)));

// ---- Runtime -------------------------------------------------------------

// For tests: every allocation larger than maxBytes fails (0: no limit); the
// nth allocation from now fails once (1: the next; 0: none). Instance
// records count, as do the objects' own blocks.
void limit_allocations(size_t maxBytes);
void fail_allocation(long n);
bool allocation_allowed(size_t size);
// Restarts the generator behind rand.
void seed_rand(uint32_t state);

}  // namespace core
