// Nothing inside run allocates or frees memory: every allocation of this
// process is counted while a plug-in's run is on the stack (outside its
// calls back into the host), across cycle lengths from 0 to 4096 that change
// every cycle, every control set to its bounds, its default, a value
// beyond its range and NaN in turn, and notes for grainfall~, with and
// without the host's options and worker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "lv2_world.h"

#if !defined(__SANITIZE_ADDRESS__)
namespace {
long allocations = 0;
void note_allocation() {
  if (in_plugin_run()) allocations++;
}
}  // namespace

// The C library's allocator behind counting entry points: operator new and
// everything else in the process reach these.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) {
  note_allocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  note_allocation();
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  note_allocation();
  return __libc_realloc(block, size);
}
void* memalign(size_t alignment, size_t size) {
  note_allocation();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** block, size_t alignment, size_t size) {
  *block = memalign(alignment, size);
  return *block == nullptr ? ENOMEM : 0;
}
void free(void* block) {
  if (block != nullptr) note_allocation();
  __libc_free(block);
}
}
#endif

namespace {

// Every control takes each of these in turn, one step per cycle.
[[maybe_unused]] std::vector<float> values_for(const ControlPort& port) {
  return {port.minimum, port.maximum, port.defaultValue, (port.minimum + port.maximum) / 2.0f,
          port.maximum + 1.0f, std::numeric_limits<float>::quiet_NaN(), port.minimum};
}

class Realtime : public testing::TestWithParam<std::string> {};

TEST_P(Realtime, RunAllocatesNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer has an allocator of its own";
#else
  const std::string object = GetParam();
  const std::vector<ControlPort> ports = control_ports(object);
  const std::vector<int> cycles = {1, 4096, 7, 0, 64, 300, 2, 1024, 4095, 33, 512, 63, 65, 1};
  for (const HostOffer offer : {HostOffer{0, false}, HostOffer{256, true}}) {
    Lv2Instance plugin(object, offer);
    ASSERT_TRUE(plugin.created());
    const Channels input = test_input(object == "sidesplit" ? 2 : 1, 3 * 44100);
    allocations = 0;
    plugin.run(input, cycles, [&](size_t cycle, size_t /*start*/) {
      for (size_t p = 0; p < ports.size(); p++) {
        const std::vector<float> values = values_for(ports[p]);
        plugin.set(ports[p].symbol, values[(cycle + p) % values.size()]);
      }
      if (object == "grainfall") {
        plugin.midi(0x90, static_cast<uint8_t>(48 + cycle % 24), 100, 0);
        plugin.midi(0x80, static_cast<uint8_t>(60 + cycle % 12), 0, 1);
      }
      plugin.run_work();
    });
    EXPECT_EQ(allocations, 0) << object << (offer.worker ? " with" : " without") << " the host's options and worker";
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(EveryObject, Realtime, testing::ValuesIn(all_objects()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
