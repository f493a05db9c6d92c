#include "object.h"

#include <algorithm>
#include <cmath>

namespace tildefx {

bool check_range(double value, const Parameter& parameter) {
  if (value >= parameter.minimum && value <= parameter.maximum) return true;
  if (parameter.error != nullptr) host::error("%s", parameter.error);
  return false;
}

float db_to_gain(double db) {
  return static_cast<float>(std::pow(10.0, db * 0.05));
}

static const char* text_for_index(std::initializer_list<const char*> texts, int index) {
  if (texts.size() == 1) return *texts.begin();
  if (index < 0 || static_cast<size_t>(index) >= texts.size()) return nullptr;
  return texts.begin()[index];
}

void write_assist(int kind, int index, char* text, std::initializer_list<const char*> inletTexts,
                  std::initializer_list<const char*> outletTexts) {
  const char* chosen =
      text_for_index(kind == host::ASSIST_OUTLET ? outletTexts : inletTexts, index);
  if (chosen != nullptr) host::sprintf(text, "%s", chosen);
}

void add_perform_one_in_one_out(host::PerformRoutine perform, void* record, host::Signal** signals) {
  host::dsp_add(perform, 4, reinterpret_cast<host::Word>(record),
                reinterpret_cast<host::Word>(signals[0]->vector),
                reinterpret_cast<host::Word>(signals[1]->vector),
                static_cast<host::Word>(signals[0]->blockSize));
}

float* new_ring_buffer(int32_t length, BufferSource source) {
  const size_t bytes = static_cast<size_t>(length) * sizeof(float);
  void* memory = source == BufferSource::Sysmem ? host::sysmem_newptr(static_cast<long>(bytes)) : host::malloc(bytes);
  if (memory == nullptr) {
    host::error("%s", "not enough memory for the delay line.");
    return nullptr;
  }
  float* samples = static_cast<float*>(memory);
  std::fill(samples, samples + length, 0.0f);
  return samples;
}

void release_sysmem_block(float*& block) {
  if (block == nullptr) return;
  host::sysmem_freeptr(block);
  block = nullptr;
}

void release_malloc_block(float*& block) {
  if (block == nullptr) return;
  host::free(block);
  block = nullptr;
}

}  // namespace tildefx
