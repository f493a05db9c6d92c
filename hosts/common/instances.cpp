// Instances: the record each one gets from newobject, laid out as
//   [the core's word: its Instance] [host header] [object's fields] [guard]
// with the header and the guard filled with a known pattern, which every
// check compares; and the inlets and outlets its new routine declares.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core.h"

namespace core {

namespace {
using NewRoutine = void* (*)();
using FreeRoutine = void (*)(void*);

// Before the record: the instance, at an offset that keeps the record as
// aligned as the block malloc returns.
constexpr size_t PREFIX = 16;
constexpr size_t GUARD = 16;
// Far more inlets than any object makes; more are refused.
constexpr int MAX_INLETS = 64;

thread_local Instance* beingCreated = nullptr;
int damagedRecords = 0;

unsigned char pattern_byte(size_t i) { return static_cast<unsigned char>(0xA5 ^ (i * 0x1D)); }

void fill_pattern(unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; i++) bytes[i] = pattern_byte(i);
}

bool holds_pattern(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; i++)
    if (bytes[i] != pattern_byte(i)) return false;
  return true;
}

unsigned char* block_of(void* record) { return static_cast<unsigned char*>(record) - PREFIX; }
unsigned char* guard_of(const Instance& instance) {
  return static_cast<unsigned char*>(instance.record) + instance.objectClass->recordSize;
}

void release(Instance* instance) {
  if (instance->record != nullptr) std::free(block_of(instance->record));
  delete instance;
}

Instance* instance_of(void* record) {
  Instance* instance;
  std::memcpy(&instance, block_of(record), sizeof instance);
  return instance;
}
}  // namespace

Instance* create_instance(host::Class* objectClass, void* adapter) {
  Instance* instance = new (std::nothrow) Instance;
  CallScope scope(objectClass, instance);
  if (instance == nullptr) {
    print_line(true, "could not create the object");
    return nullptr;
  }
  instance->objectClass = objectClass;
  instance->adapter = adapter;
  beingCreated = instance;
  void* record = reinterpret_cast<NewRoutine>(objectClass->newRoutine)();
  beingCreated = nullptr;
  if (record == nullptr || record != instance->record) {
    // A new routine that returns null has released what it got.
    release(instance);
    print_line(true, "could not create the object");
    return nullptr;
  }
  check_record(*instance);
  return instance;
}

void free_instance(Instance* instance) {
  {
    CallScope scope(instance->objectClass, instance);
    if (instance->objectClass->freeRoutine != nullptr)
      reinterpret_cast<FreeRoutine>(instance->objectClass->freeRoutine)(instance->record);
    else
      host::z_dsp_free(instance->record);
    check_record(*instance);
  }
  release(instance);
}

int inlet_count(const Instance& instance) {
  int positioned = instance.signalInlets;
  for (int number : instance.floatInlets) positioned = std::max(positioned, number + 1);
  return positioned + instance.listInlets;
}

InletKind inlet_kind(const Instance& instance, int position) {
  if (position < instance.signalInlets) return InletKind::Signal;
  if (position >= inlet_count(instance) - instance.listInlets) return InletKind::List;
  return InletKind::Float;
}

bool check_record(Instance& instance) {
  if (!instance.intact) return false;
  const auto* header = static_cast<const unsigned char*>(instance.record);
  if (!holds_pattern(header, sizeof(host::ObjectHeader))) {
    print_line(true, "the object wrote into the host's header");
    instance.intact = false;
  } else if (!holds_pattern(guard_of(instance), GUARD)) {
    print_line(true, "the object wrote past the end of its %ld-byte record", instance.objectClass->recordSize);
    instance.intact = false;
  }
  if (!instance.intact) damagedRecords++;
  return instance.intact;
}

int damaged_records() { return damagedRecords; }

}  // namespace core

namespace host {

void* newobject(Class* objectClass) {
  core::Instance* instance = core::beingCreated;
  if (instance == nullptr || objectClass != instance->objectClass || instance->record != nullptr) return nullptr;
  const size_t size = static_cast<size_t>(objectClass->recordSize);
  if (!core::allocation_allowed(size)) return nullptr;
  auto* block = static_cast<unsigned char*>(std::calloc(1, core::PREFIX + size + core::GUARD));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &instance, sizeof instance);
  instance->record = block + core::PREFIX;
  core::fill_pattern(block + core::PREFIX, sizeof(ObjectHeader));
  core::fill_pattern(core::guard_of(*instance), core::GUARD);
  return instance->record;
}

void z_dsp_setup(void* record, int signalInlets) {
  if (signalInlets < 0 || signalInlets > core::MAX_INLETS)
    core::print_line(true, "z_dsp_setup: no %d signal inlets", signalInlets);
  else
    core::instance_of(record)->signalInlets = signalInlets;
}

void floatin(void* record, int inletNumber) {
  if (inletNumber < 0 || inletNumber >= core::MAX_INLETS)
    core::print_line(true, "floatin: no inlet %d", inletNumber);
  else
    core::instance_of(record)->floatInlets.push_back(inletNumber);
}

void inlet_new(void* record, const char* /*messageKind*/) { core::instance_of(record)->listInlets += 1; }

void outlet_new(void* record, const char* /*type*/) { core::instance_of(record)->signalOutlets += 1; }

int proxy_getinlet(void* record) { return core::instance_of(record)->currentInlet; }

}  // namespace host
