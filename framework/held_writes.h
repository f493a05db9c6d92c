// Reads first, writes held back: how the delays run their samples.
//
// For every sample the object reads its line first (taps, heads or grains,
// and everything they depend on); the sample's write into the line
// (feedback, filters, arctangent) is held back and done 64 to 80 samples
// later, in the same loop, in batches of 16: the filters' chain for the
// batch, then the batch's arctangents side by side. Held back, the writes
// run beside the reads of later samples instead of holding up the next
// sample's reads. The reads nearly always lie further back than the writes
// held; a read that would reach a write still held back makes the writes
// catch up first, so every sample computes what it would one by one.
#pragma once

#include <cstdint>

#include "delay_line.h"
#include "write_stage.h"

namespace tildefx {

constexpr int HELD_SAMPLES = 64;
constexpr int HELD_BATCH = 16;               // writes done together
constexpr int HELD_RING = 2 * HELD_SAMPLES;  // room for the held writes, a power of two

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

// The writes of one block, held back. Sample indexes count from the block's
// start. The write stage is the object's, copied in for the block; the
// object stores it back at the end.
struct HeldWrites {
  HeldWrites(DelayLine line, int32_t writeIndex, const WriteStage& stage, const float* in, float* out)
      : line(line), stage(stage), firstIndex(writeIndex), in(in), out(out) {}

  DelayLine line;
  WriteStage stage;
  int32_t firstIndex;  // line index of the block's first sample
  const float* in;     // the block's input and output
  float* out;
  int done = 0;  // samples of the block already written
  float gain[HELD_RING];
  float fedBack[HELD_RING];

  // Sample i: what goes back into the line with the input, and its gain.
  // The fed-back sample is also the output.
  void hold(int i, float loopGain, float fed) {
    gain[i & (HELD_RING - 1)] = loopGain;
    fedBack[i & (HELD_RING - 1)] = fed;
  }

  // Sample i, whose line slot is writeIndex, is about to read around
  // readIndex: the held writes catch up if it would reach one.
  void before_read(int i, int32_t writeIndex, int32_t readIndex) {
    if (reads_pending_write(writeIndex, readIndex, line.mask, i - done)) write_until(i);
  }

  // The held writes up to sample `end`, a batch at a time: the filters'
  // chain for the batch first, then the arctangents of the whole batch,
  // which do not depend on one another.
  void write_until(int end) {
    WriteStage local = stage;  // in registers for the loop
    while (done < end) {
      const int count = end - done < HELD_BATCH ? end - done : HELD_BATCH;
      if (count < HELD_BATCH) {  // a few at a block's end: one at a time costs less
        for (int j = 0; j < count; j++) {
          const int slot = (done + j) & (HELD_RING - 1);
          line.write(firstIndex + done + j, local.line_sample(in[done + j], gain[slot], fedBack[slot]));
          out[done + j] = fedBack[slot];
        }
        done += count;
        break;
      }
      float looped[HELD_BATCH];
      float stored[HELD_BATCH];
      for (int j = 0; j < count; j++) {
        const int slot = (done + j) & (HELD_RING - 1);
        looped[j] = local.loop_sample(in[done + j], gain[slot], fedBack[slot]);
      }
      saturate_for_line(looped, stored, count);
      for (int j = 0; j < count; j++) {
        line.write(firstIndex + done + j, stored[j]);
        out[done + j] = fedBack[(done + j) & (HELD_RING - 1)];
      }
      done += count;
    }
    stage = local;
  }

  // Sample i has been held: a batch of the oldest writes goes once enough
  // are held.
  void write_behind(int i) {
    if (i + 1 - done >= HELD_SAMPLES + HELD_BATCH) write_until(done + HELD_BATCH);
  }

  // Samples up to `end` were written by the object itself.
  void written_directly(int end) { done = end; }
};

// Runs `read_sample(i)` for every sample of an n-sample block, each sample's
// write at least HELD_SAMPLES samples after its reads, and the last writes at
// the end.
template <typename ReadSample>
void run_reads_then_writes(HeldWrites& writes, int n, ReadSample read_sample) {
  for (int i = 0; i < n; i++) {
    read_sample(i);
    writes.write_behind(i);
  }
  writes.write_until(n);
}

}  // namespace tildefx
