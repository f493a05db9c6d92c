// The runtime: memory (with the failures tests ask for), atom values and
// the generator behind rand.
#include <cstdlib>

#include "core.h"

namespace core {

namespace {
size_t allocationLimit = 0;
long allocationsBeforeFailure = 0;  // counts down to the one that fails; 0: none
// One generator per core: each plug-in library of the Pd and LV2 hosts has
// its own, so an instance that draws from it gets the same numbers as in
// the stand-in host.
uint32_t randState = 1;
}  // namespace

void limit_allocations(size_t maxBytes) { allocationLimit = maxBytes; }
void fail_allocation(long n) { allocationsBeforeFailure = n; }

bool allocation_allowed(size_t size) {
  const bool failsNow = allocationsBeforeFailure > 0 && --allocationsBeforeFailure == 0;
  return !failsNow && (allocationLimit == 0 || size <= allocationLimit);
}

void seed_rand(uint32_t state) { randState = state; }

}  // namespace core

namespace host {

int32_t atom_getlong(const Atom* atom) {
  if (atom == nullptr) return 0;
  if (atom->type == ATOM_LONG) return atom->value.integer;
  if (atom->type == ATOM_FLOAT) return core::saturate_to_int32(atom->value.number);
  return 0;
}

void* sysmem_newptr(long size) {
  if (size < 0 || !core::allocation_allowed(static_cast<size_t>(size))) return nullptr;
  return std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
}

void* t_resizebytes(void* block, long /*oldSize*/, long newSize) {
  if (newSize < 0 || !core::allocation_allowed(static_cast<size_t>(newSize))) return nullptr;
  return std::realloc(block, newSize > 0 ? static_cast<size_t>(newSize) : 1);
}

void sysmem_freeptr(void* block) { std::free(block); }

void* malloc(size_t size) {
  if (!core::allocation_allowed(size)) return nullptr;
  return std::malloc(size);
}

void free(void* block) { std::free(block); }

// The classic runtime generator: the state starts at 1 and each call gives
// 0 to 32767.
int rand() {
  core::randState = core::randState * 214013u + 2531011u;
  return static_cast<int>((core::randState >> 16) & 0x7FFFu);
}

}  // namespace host
