// The objects' samples are defined with every IEEE rounding, subnormal
// numbers included. Some hosts run their threads with subnormal results
// flushed to zero and subnormal inputs read as zero (Ardour sets both in
// the SSE control register), which changes samples wherever a computation
// passes through a subnormal number; so every call into an object runs in
// the processor's default mode, and the host's comes back on return.
#include <xmmintrin.h>

#include "internal.h"

namespace lv2_host {

namespace {
// Round to nearest, every exception masked, no flushing: the mode a program
// starts in.
constexpr unsigned int DEFAULT_MODE = 0x1F80;
}  // namespace

DefaultFloatingPoint::DefaultFloatingPoint() : hostMode_(_mm_getcsr()) { _mm_setcsr(DEFAULT_MODE); }

DefaultFloatingPoint::~DefaultFloatingPoint() { _mm_setcsr(hostMode_); }

}  // namespace lv2_host
