// The host interface as the stand-in host implements it.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host_runtime.h"
#include "internal.h"

namespace standin {

namespace {
size_t allocationLimit = 0;
long allocationsBeforeFailure = 0;  // counts down to the one that fails; 0: none
uint32_t randState = 1;

bool next_allocation_fails() { return allocationsBeforeFailure > 0 && --allocationsBeforeFailure == 0; }

bool allocation_allowed(size_t size) {
  return !next_allocation_fails() && (allocationLimit == 0 || size <= allocationLimit);
}
}  // namespace

void limit_allocations(size_t maxBytes) { allocationLimit = maxBytes; }
void fail_allocation(long n) { allocationsBeforeFailure = n; }
void seed_rand(uint32_t state) { randState = state; }

Instance::Data* data_of(void* record) {
  return static_cast<Instance::Data*>(static_cast<host::ObjectHeader*>(record)->hostInstance);
}

}  // namespace standin

using standin::data_of;

namespace host {

void setup(Class** place, Method newRoutine, Method freeRoutine, long recordSize,
           Method /*menuRoutine*/, int /*creationArguments*/) {
  Class*& registering = standin::class_being_registered();
  if (registering == nullptr || recordSize < static_cast<long>(sizeof(ObjectHeader))) {
    standin::print_line(true, "setup: the class cannot be registered here");
    return;
  }
  registering->newRoutine = newRoutine;
  registering->freeRoutine = freeRoutine;
  registering->recordSize = recordSize;
  *place = registering;
}

void addmess(Method method, const char* selector, int kind, ...) {
  Class* registering = standin::class_being_registered();
  if (registering == nullptr) return;
  registering->bindings.push_back({selector, kind, method});
}

void addftx(Method method, int inletNumber) {
  if (Class* registering = standin::class_being_registered())
    registering->floatInlets[inletNumber] = method;
}

void addint(Method method) {
  if (Class* registering = standin::class_being_registered()) registering->intMethod = method;
}

void addfloat(Method method) {
  if (Class* registering = standin::class_being_registered()) registering->floatMethod = method;
}

void z_add_signalmethod() {
  if (Class* registering = standin::class_being_registered()) registering->signalClass = true;
}

void* newobject(Class* objectClass) {
  if (objectClass == nullptr || standin::next_allocation_fails()) return nullptr;
  void* record = std::calloc(1, static_cast<size_t>(objectClass->recordSize));
  if (record == nullptr) return nullptr;
  auto* data = new standin::Instance::Data;
  data->objectClass = objectClass;
  data->record = record;
  static_cast<ObjectHeader*>(record)->hostInstance = data;
  standin::instance_being_created() = data;
  return record;
}

void z_dsp_setup(void* record, int signalInlets) { data_of(record)->signalInlets = signalInlets; }

void floatin(void* record, int inletNumber) { data_of(record)->floatInlets.push_back(inletNumber); }

void inlet_new(void* record, const char* /*messageKind*/) { data_of(record)->listInlets += 1; }

void outlet_new(void* record, const char* /*type*/) { data_of(record)->signalOutlets += 1; }

int proxy_getinlet(void* record) { return data_of(record)->currentInlet; }

int32_t atom_getlong(const Atom* atom) {
  if (atom == nullptr || atom->type == AtomType::Symbol) return 0;
  return host_runtime::saturate_to_int32(atom->number);
}

void dsp_add(PerformRoutine perform, int count, ...) {
  standin::Instance::Data* data = standin::instance_building_chain();
  if (data == nullptr || count < 0) return;
  standin::ChainEntry entry{perform, std::vector<Word>(static_cast<size_t>(count) + 1, 0)};
  va_list arguments;
  va_start(arguments, count);
  for (int i = 1; i <= count; i++) entry.words[static_cast<size_t>(i)] = va_arg(arguments, Word);
  va_end(arguments);
  data->chain.push_back(std::move(entry));
}

void z_dsp_free(void* record) {
  standin::Instance::Data* data = data_of(record);
  data->chain.clear();
  data->inChain = false;
}

void error(const char* text) { standin::print_line(true, text); }

void post(const char* text) { standin::print_line(false, text); }

void sprintf(char* buffer, const char* text) {
  std::snprintf(buffer, ASSIST_TEXT_SIZE, "%s", text);
}

void* sysmem_newptr(long size) {
  if (size < 0 || !standin::allocation_allowed(static_cast<size_t>(size))) return nullptr;
  return std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
}

void* t_resizebytes(void* block, long /*oldSize*/, long newSize) {
  if (newSize < 0 || !standin::allocation_allowed(static_cast<size_t>(newSize))) return nullptr;
  return std::realloc(block, newSize > 0 ? static_cast<size_t>(newSize) : 1);
}

void sysmem_freeptr(void* block) { std::free(block); }

void* malloc(size_t size) {
  if (!standin::allocation_allowed(size)) return nullptr;
  return std::malloc(size);
}

void free(void* block) { std::free(block); }

int rand() { return host_runtime::next_rand(standin::randState); }

}  // namespace host
