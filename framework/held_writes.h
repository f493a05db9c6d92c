// Reads first, writes held back: how the delays run their samples.
//
// Samples go through in chunks. For every sample of a chunk the object
// reads its line first (taps, heads or grains, and everything they depend
// on); the writes into the line (feedback, filters, arctangent) follow in a
// second loop over the chunk. The reads of a chunk nearly always lie further
// back than the chunk is long, and then one sample's arctangent no longer
// holds up the next sample's reads. A read that would reach a write still
// held back makes the writes catch up first, so every sample computes what
// it would one by one.
#pragma once

#include <cstdint>

#include "delay_line.h"
#include "write_stage.h"

namespace tildefx {

constexpr int HELD_CHUNK = 64;

// Whether a four-point read around readIndex (slots readIndex - 1 to
// readIndex + 2) would take a slot whose write is still held back: one of the
// `pending` slots just behind writeIndex (the current sample's own slot,
// writeIndex itself, is not written yet in any case).
inline bool reads_pending_write(int32_t writeIndex, int32_t readIndex, int32_t mask, int pending) {
  if (pending <= 0) return false;
  // The four slots lie first, first + 1, ..., first + 3 samples behind the
  // slot just behind writeIndex (modulo the line length).
  const int32_t first = (writeIndex - 1 - (readIndex + 2)) & mask;
  return first < pending || first > mask - 3;
}

// The writes of one block, held back chunk by chunk. The write stage is the
// object's, copied in for the block; the object stores it back at the end.
struct HeldWrites {
  HeldWrites(DelayLine line, int32_t writeIndex, const WriteStage& stage, const float* in, float* out)
      : line(line), stage(stage), blockIndex(writeIndex), blockIn(in), blockOut(out) {}

  DelayLine line;
  WriteStage stage;
  int32_t blockIndex;  // line index of the block's first sample
  const float* blockIn;
  float* blockOut;
  const float* in = nullptr;  // the chunk's input and output
  float* out = nullptr;
  int32_t firstIndex = 0;  // line index of the chunk's first sample
  int done = 0;            // samples of the chunk already written
  float gain[HELD_CHUNK];
  float fedBack[HELD_CHUNK];

  void begin_chunk(int start) {
    firstIndex = (blockIndex + start) & line.mask;
    in = blockIn + start;
    out = blockOut + start;
    done = 0;
  }

  // Sample i of the chunk: what goes back into the line with the input, and
  // its gain. The fed-back sample is also the output.
  void hold(int i, float loopGain, float fed) {
    gain[i] = loopGain;
    fedBack[i] = fed;
  }

  // Sample i of the chunk, whose line slot is writeIndex, is about to read
  // around readIndex: the held writes catch up if it would reach one.
  void before_read(int i, int32_t writeIndex, int32_t readIndex) {
    if (reads_pending_write(writeIndex, readIndex, line.mask, i - done)) write_until(i);
  }

  void write_until(int end) {
    WriteStage local = stage;  // in registers for the loop
    for (int j = done; j < end; j++) {
      line.write(firstIndex + j, local.line_sample(in[j], gain[j], fedBack[j]));
      out[j] = fedBack[j];
    }
    stage = local;
    done = end;
  }

  // Samples up to `end` of the chunk were written by the object itself.
  void written_directly(int end) { done = end; }
};

// Runs `read_sample(i)` for every sample of an n-sample block, chunk by
// chunk, and the held writes after each chunk's reads.
template <typename ReadSample>
void run_reads_then_writes(HeldWrites& writes, int n, ReadSample read_sample) {
  for (int start = 0; start < n; start += HELD_CHUNK) {
    const int count = n - start < HELD_CHUNK ? n - start : HELD_CHUNK;
    writes.begin_chunk(start);
    for (int i = 0; i < count; i++) read_sample(i);
    writes.write_until(count);
  }
}

}  // namespace tildefx
