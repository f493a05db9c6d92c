// The processor's wider instructions: each object's perform routine is
// built twice, for the baseline x86-64 instruction set and for processors
// with AVX2, and the dsp method adds the one this processor runs. Both give
// the same bits: every operation is the same IEEE operation on wider
// registers (fused multiply-adds stay off, as everywhere).
#pragma once

namespace tildefx {

// Whether this processor runs the AVX2 routines: asked once per process.
// TILDEFX_BASELINE set in the environment keeps every object on the
// baseline routines (the tests check both paths against the same hashes).
bool use_avx2();

}  // namespace tildefx

// Marks the AVX2 copy of a perform routine: everything it calls is inlined
// into it and compiled for AVX2. On Windows the AVX2 copy is built for the
// baseline and never chosen: the compiler there cannot keep 32-byte stack
// slots aligned.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define TILDEFX_AVX2_ROUTINE __attribute__((target("avx2"), flatten))
#else
#define TILDEFX_AVX2_ROUTINE __attribute__((flatten))
#endif

#include "host.h"

namespace tildefx {

// The routine this processor runs: the AVX2 copy where it may.
inline host::PerformRoutine routine_for_processor(host::PerformRoutine baseline,
                                                  host::PerformRoutine avx2) {
  return use_avx2() ? avx2 : baseline;
}

}  // namespace tildefx
