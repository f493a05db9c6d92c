// The host interface: every operation an object may call, and the types the
// host and the objects pass to each other. Object sources include this header
// and nothing from a host; each host provides its own implementation of it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// Begins every instance record. Only the host reads or writes it.
struct ObjectHeader {
  void* hostInstance;
};

// A registered object class; its contents belong to the host.
struct Class;

// One signal inlet or outlet as the dsp method sees it.
struct Signal {
  int32_t blockSize;
  float* vector;
  float sampleRate;
};

enum class AtomType { Long, Float, Symbol };

// One element of a list message.
struct Atom {
  AtomType type;
  double number;     // Long and Float
  const char* word;  // Symbol
};

// One word of a perform routine's argument vector: a pointer or an integer.
using Word = intptr_t;
using PerformRoutine = Word* (*)(Word* w);

// Any routine an object registers. The host casts it back to the signature
// its registration implies:
//   new routine        void* new()
//   free routine       void free(Record*)
//   "dsp"              void dsp(Record*, Signal** signals, short* connections)
//   "assist"           void assist(Record*, void* box, int kind, int index, char* text)
//   one float          void method(Record*, double value)     (addmess kind 2, addftx, addfloat)
//   no argument        void method(Record*)
//   "list"             void list(Record*, int argc, Atom* argv)
//   int                void method(Record*, int32_t value)    (addint)
using Method = void (*)();

// Argument kinds for addmess; the list of kinds ends with ARG_END.
enum ArgumentKind { ARG_END = 0, ARG_FLOAT = 2, ARG_LIST = 8, ARG_PRIVATE = 9 };

// The assist method's kind for an outlet; any other kind means an inlet.
constexpr int ASSIST_OUTLET = 2;
constexpr int ASSIST_INLET = 1;
// Size of the text buffer the host hands to the assist method.
constexpr size_t ASSIST_TEXT_SIZE = 512;

// Class registration, called from the plug-in's main.
void setup(Class** place, Method newRoutine, Method freeRoutine, long recordSize,
           Method menuRoutine, int creationArguments);
void addmess(Method method, const char* selector, int kind, ...);
void addftx(Method method, int inletNumber);
void addint(Method method);
void addfloat(Method method);
void z_add_signalmethod();

// Instances, inlets and outlets, called from the new routine. A new routine
// that cannot get the memory it needs releases what it did get and returns
// null; the host then discards the record and reports that the object could
// not be created.
void* newobject(Class* objectClass);
void z_dsp_setup(void* record, int signalInlets);
void floatin(void* record, int inletNumber);
void inlet_new(void* record, const char* messageKind);
void outlet_new(void* record, const char* type);
int proxy_getinlet(void* record);
int32_t atom_getlong(const Atom* atom);

// The signal chain.
void dsp_add(PerformRoutine perform, int count, ...);
void z_dsp_free(void* record);

// Console lines and text.
void error(const char* text);
void post(const char* text);
void sprintf(char* buffer, const char* text);

// Memory.
void* sysmem_newptr(long size);
void* t_resizebytes(void* block, long oldSize, long newSize);
void sysmem_freeptr(void* block);
void* malloc(size_t size);
void free(void* block);

// The runtime's generator: 0 to 32767.
int rand();

}  // namespace host
