#include "processor_path.h"

#include <cstdlib>

namespace tildefx {

namespace {
bool processor_has_avx2() {
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}
}  // namespace

bool use_avx2() {
  static const bool chosen = processor_has_avx2() && std::getenv("TILDEFX_BASELINE") == nullptr;
  return chosen;
}

}  // namespace tildefx
