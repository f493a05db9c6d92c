// The host interface: every operation an object may call, and the types the
// host and the objects pass to each other, laid out as the host lays them
// out (docs/host-interface.md gives every size and offset). Object sources
// include this header and nothing from a host; each host provides its own
// implementation of it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// The host packs the structures it shares with a plug-in to 2 bytes on
// 32-bit Windows; elsewhere they take their natural alignment. The host's
// `long` is 32 bits on every target it runs on, so it is int32_t here.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 2)
#endif

struct Symbol {
  char* name;
  void* thing;
};

// Begins every instance record: the host's object header (method list,
// magic number, inlet and outlet lists) and its signal fields. The host
// fills it; objects never read or write it.
struct ObjectHeader {
  void* methods;
  int32_t magic;
  void* inlets;
  void* outlets;
  int32_t signalInlets;
  void* proxy;
  int32_t disabled;
  int16_t count;
  int16_t misc;
};

enum AtomType : int16_t { ATOM_NOTHING = 0, ATOM_LONG = 1, ATOM_FLOAT = 2, ATOM_SYMBOL = 3 };

union AtomValue {
  int32_t integer;  // ATOM_LONG
  float number;     // ATOM_FLOAT
  Symbol* symbol;   // ATOM_SYMBOL
  void* object;
};

// One element of a list message.
struct Atom {
  int16_t type;  // an AtomType
  AtomValue value;
};

#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(pop)
static_assert(sizeof(void*) == 4 && sizeof(ObjectHeader) == 32 && sizeof(Atom) == 6 && sizeof(Symbol) == 8,
              "32-bit Windows: the host's 32-byte header and 6-byte atom");
static_assert(offsetof(ObjectHeader, signalInlets) == 16 && offsetof(ObjectHeader, count) == 28 &&
                  offsetof(Atom, value) == 2,
              "32-bit Windows: fields where the host has them");
#else
static_assert(sizeof(void*) == 8 && sizeof(ObjectHeader) == 56 && sizeof(Atom) == 16 && sizeof(Symbol) == 16,
              "64-bit targets: the header's and the atom's fields at their natural sizes");
static_assert(offsetof(ObjectHeader, signalInlets) == 32 && offsetof(ObjectHeader, count) == 52 &&
                  offsetof(Atom, value) == 8,
              "64-bit targets: fields at their natural alignment");
#endif

// A registered object class; its contents belong to the host.
struct Class;

// One signal inlet or outlet as the dsp method sees it.
struct Signal {
  int32_t blockSize;
  float* vector;
  float sampleRate;
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
//   "list"             void list(Record*, Symbol* selector, short count, Atom* atoms)
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

// Console lines and text, formatted as printf formats them. An object's
// texts are fixed, and some hold '%': they are always passed as the
// argument of "%s", never as the format.
void error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void post(const char* format, ...) __attribute__((format(printf, 1, 2)));
int sprintf(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Memory.
void* sysmem_newptr(long size);
void* t_resizebytes(void* block, long oldSize, long newSize);
void sysmem_freeptr(void* block);
void* malloc(size_t size);
void free(void* block);

// The runtime's generator: 0 to 32767.
int rand();

}  // namespace host
