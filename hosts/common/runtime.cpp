// The runtime operations of the plug-in hosts (Pd, LV2): memory from the C
// library, the assist text copy, atom values and the generator behind rand.
// This file stays apart from Pd's header, which takes the name t_resizebytes
// for a macro of its own.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host.h"
#include "host_runtime.h"

namespace host {

namespace {
// One generator per plug-in, as each has its own copy of this library:
// an instance that draws from it gets the same numbers as in the stand-in host.
uint32_t randState = 1;
}  // namespace

int32_t atom_getlong(const Atom* atom) {
  if (atom == nullptr || atom->type == AtomType::Symbol) return 0;
  return host_runtime::saturate_to_int32(atom->number);
}

void sprintf(char* buffer, const char* text) { std::snprintf(buffer, ASSIST_TEXT_SIZE, "%s", text); }

void* sysmem_newptr(long size) {
  if (size < 0) return nullptr;
  return std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
}

void* t_resizebytes(void* block, long /*oldSize*/, long newSize) {
  if (newSize < 0) return nullptr;
  return std::realloc(block, newSize > 0 ? static_cast<size_t>(newSize) : 1);
}

void sysmem_freeptr(void* block) { std::free(block); }

void* malloc(size_t size) { return std::malloc(size); }

void free(void* block) { std::free(block); }

int rand() { return host_runtime::next_rand(randState); }

}  // namespace host
