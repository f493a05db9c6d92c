// What the stand-in host keeps behind the host interface: classes, the
// host side of each instance, and the context of the call in progress.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host.h"
#include "standin.h"

struct host::Class {
  std::string name;
  host::Method newRoutine = nullptr;
  host::Method freeRoutine = nullptr;
  long recordSize = 0;
  struct Bound {
    std::string selector;
    int kind;
    host::Method method;
  };
  std::vector<Bound> bindings;                // addmess, in order
  std::map<int, host::Method> floatInlets;    // addftx
  host::Method intMethod = nullptr;           // addint
  host::Method floatMethod = nullptr;         // addfloat
  bool signalClass = false;
};

namespace standin {

struct ChainEntry {
  host::PerformRoutine perform;
  std::vector<host::Word> words;  // words[0] is unused, as w[0] in the host's vector
};

struct Instance::Data {
  host::Class* objectClass = nullptr;
  void* record = nullptr;
  int signalInlets = 0;
  std::vector<int> floatInlets;  // numbers from floatin
  int listInlets = 0;
  int signalOutlets = 0;
  int currentInlet = 0;

  float sampleRate = 0.0f;
  int blockSize = 0;
  bool inChain = false;
  std::vector<std::vector<float>> vectors;  // one per signal inlet, then per outlet
  std::vector<float*> inletVectors;
  std::vector<float*> outletVectors;
  std::vector<ChainEntry> chain;
  // Where the chain's words hold a signal vector: entry, word, and the vector
  // (inlets first, then outlets). process points them at the caller's
  // vectors when it can, and back at the host's own otherwise.
  struct VectorWord {
    size_t entry;
    size_t word;
    size_t vector;
  };
  std::vector<VectorWord> vectorWords;
  bool inPlace = false;
};

// The instance whose record this is.
Instance::Data* data_of(void* record);

// Records where the chain's words hold the host's signal vectors.
void find_vector_words(Instance::Data& d);

// The object a console line is printed for; set around every call into an
// object and restored afterwards.
class ObjectContext {
 public:
  explicit ObjectContext(const std::string& objectName);
  ~ObjectContext();

 private:
  std::string saved_;
};

const std::string& current_object_name();
void print_line(bool isError, const std::string& text);

// Class registry.
host::Class* find_or_load_class(const std::string& objectName);
// The class a plug-in's main is registering (set by setup) and the instance
// whose dsp method is running (for dsp_add).
host::Class*& class_being_registered();
Instance::Data*& instance_building_chain();
// The instance newobject made during the new routine in progress.
Instance::Data*& instance_being_created();

}  // namespace standin
