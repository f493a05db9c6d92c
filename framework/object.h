// Helpers for what every object repeats: the range check with its console
// line, the assist texts, the dsp registration, the delays' ring buffers and
// the release of buffers.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "description.h"
#include "host.h"

namespace tildefx {

// True when value lies within the parameter's range, bounds included.
// Otherwise prints the parameter's error line, if it has one, and returns
// false; a NaN is refused the same way.
bool check_range(double value, const Parameter& parameter);

// A level in dB as a linear gain, rounded to a float.
float db_to_gain(double db);

// Writes the assist text for one connection. A list of one text stands for
// every index of its direction; a longer list is read by index, and an index
// past its end leaves the buffer untouched.
void write_assist(int kind, int index, char* text, std::initializer_list<const char*> inletTexts,
                  std::initializer_list<const char*> outletTexts);

// Adds a one-in, one-out perform routine with its four arguments: the record,
// the input vector, the output vector and the block size of the input.
void add_perform_one_in_one_out(host::PerformRoutine perform, void* record, host::Signal** signals);

// Where a buffer's memory comes from: the host's sysmem_newptr or the
// runtime's malloc.
enum class BufferSource { Sysmem, Malloc };

// A delay line's ring of `length` zeros. Without the memory it prints "not
// enough memory for the delay line." and returns null: the object then
// refuses the instance.
float* new_ring_buffer(int32_t length, BufferSource source);

// Release a buffer if it is there and forget it: one for blocks from
// sysmem_newptr, one for blocks from malloc.
void release_sysmem_block(float*& block);
void release_malloc_block(float*& block);

}  // namespace tildefx
