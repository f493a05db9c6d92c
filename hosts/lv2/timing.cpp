// What the adapter knows of each object beyond its ports: whether its sound
// depends on how its input is cut into blocks, the latency it adds itself,
// and which controls cost too much to change inside run.
#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>

#include "internal.h"

namespace lv2_host {

namespace {

// The internal block when the host states no nominal length, and the
// longest one taken from a host (a longer nominal length falls back to the
// default rather than make every object that many samples late).
constexpr int DEFAULT_BLOCK_LENGTH = 64;
constexpr int LONGEST_BLOCK_LENGTH = 8192;

struct ObjectTiming {
  const char* name;
  // The perform routine keeps from block to block only per-sample state and
  // reads its parameters once per block, taking nothing else from the block
  // length (no ramp over a block, no glide counted in blocks, no history
  // aligned to blocks): any cut of the input gives the same samples, and
  // the object runs straight on the host's cycles, with no latency.
  bool anyCycle;
  // A history of at least this many samples whose oldest block is output:
  // max(history, n) - n samples late at block length n (bitgrind~).
  int history;
  // Controls whose methods take far longer than any other (more than
  // 100 µs; the others take a few µs): levelsway~'s ratio, threshold and
  // soft knee each rebuild the 8192-entry gain table with a power and a
  // logarithm per entry, about 2 ms. They go to the host's worker.
  const char* costlyControls;
};

const ObjectTiming OBJECTS[] = {
    {"grainfall~", false, 0, ""},       {"echoloom~", false, 0, ""},
    {"tonewarp~", false, 0, ""},        {"levelsway~", true, 0, "ratio threshold softKnee"},
    {"bitgrind~", false, 256, ""},      {"sidesplit~", true, 0, ""},
    {"overtoner~", true, 0, ""},
};

// An object not in the table runs behind the FIFO, which suits any object.
const ObjectTiming UNKNOWN = {"", false, 0, ""};

const ObjectTiming& timing_of(const ObjectInfo& object) {
  for (const ObjectTiming& timing : OBJECTS)
    if (std::strcmp(timing.name, object.name) == 0) return timing;
  return UNKNOWN;
}

}  // namespace

Timing timing_for(const ObjectInfo& object, int nominalBlockLength) {
  const ObjectTiming& known = timing_of(object);
  Timing timing;
  timing.anyCycle = known.anyCycle;
  timing.blockLength = nominalBlockLength >= 1 && nominalBlockLength <= LONGEST_BLOCK_LENGTH
                           ? nominalBlockLength : DEFAULT_BLOCK_LENGTH;
  const int fifo = known.anyCycle ? 0 : timing.blockLength - 1;
  const int history = std::max(known.history, timing.blockLength) - timing.blockLength;
  timing.latency = fifo + history;
  return timing;
}

bool is_costly(const ObjectInfo& object, const char* symbol) {
  std::istringstream words(timing_of(object).costlyControls);
  for (std::string word; words >> word;)
    if (word == symbol) return true;
  return false;
}

}  // namespace lv2_host
