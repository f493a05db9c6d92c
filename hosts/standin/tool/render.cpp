#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "audio_file.h"
#include "progress.h"
#include "score.h"
#include "standin.h"

namespace tildefx_tool {

namespace {
int fail(const std::string& reason) {
  std::fprintf(stderr, "error: tildefx: %s\n", reason.c_str());
  return 1;
}

// The instances that process the file.
struct Chain {
  std::vector<std::unique_ptr<standin::Instance>> instances;
  bool perChannel = false;  // one instance per channel of the file
  int blockSize = 0;
};

// One instance for an object whose signal inlets match the file's channels,
// or one per channel for a one-in, one-out object.
bool create_instances(const std::string& object, size_t channels, Chain& chain, std::string& errorText) {
  std::unique_ptr<standin::Instance> first = standin::Instance::create(object);
  if (!first) {
    errorText = "cannot create " + object;
    return false;
  }
  const size_t inlets = static_cast<size_t>(first->signal_inlets());
  chain.perChannel = inlets == 1 && first->signal_outlets() == 1;
  if (!chain.perChannel && channels != inlets) {
    errorText = object + " takes " + std::to_string(inlets) + " input channel" +
                (inlets == 1 ? "" : "s") + "; the input file has " + std::to_string(channels);
    return false;
  }
  chain.instances.push_back(std::move(first));
  for (size_t c = 1; chain.perChannel && c < channels; c++) {
    chain.instances.push_back(standin::Instance::create(object));
    if (!chain.instances.back()) {
      errorText = "cannot create " + object;
      return false;
    }
  }
  return true;
}

bool collect_messages(const RenderOptions& options, double sampleRate,
                      std::vector<TimedMessage>& timeline, std::string& errorText) {
  for (size_t i = 0; i < options.messages.size(); i++) {
    TimedMessage timed;
    timed.origin = "argument " + std::to_string(i + 1);
    if (!parse_timed_message(options.messages[i], timed, errorText)) return false;
    timeline.push_back(std::move(timed));
  }
  if (!options.scorePath.empty() && !read_score(options.scorePath, sampleRate, timeline, errorText))
    return false;
  std::stable_sort(timeline.begin(), timeline.end(),
                   [](const TimedMessage& a, const TimedMessage& b) { return a.sample < b.sample; });
  return true;
}

bool start_chain(Chain& chain, float sampleRate, int blockSize) {
  for (auto& instance : chain.instances)
    if (!instance->dsp(sampleRate, blockSize)) return false;
  chain.blockSize = blockSize;
  return true;
}

// Delivers one timed message to every instance.
bool deliver(Chain& chain, const TimedMessage& timed, bool quiet, std::string& errorText) {
  if (timed.rebuildsChain) {
    if (!start_chain(chain, timed.dsp.sampleRate, timed.dsp.blockSize)) {
      errorText = timed.origin + ": the signal chain could not be rebuilt";
      print_console(quiet);
      return false;
    }
  } else {
    for (auto& instance : chain.instances) instance->send(timed.message);
  }
  print_console(quiet);
  return true;
}

// The frames of one block: read interleaved from the input, handed to the
// instances channel by channel, and gathered interleaved for the output.
struct BlockFrames {
  std::vector<float> input;
  std::vector<float> output;
};

// Runs one block. input holds blockSize frames of the file's channels (zero
// past its end); output receives blockSize frames of every outlet in turn.
// False when an object has damaged the host's memory.
bool process_block(Chain& chain, size_t inChannels, size_t outChannels, BlockFrames& frames) {
  const size_t n = static_cast<size_t>(chain.blockSize);
  size_t outChannel = 0;
  for (size_t k = 0; k < chain.instances.size(); k++) {
    standin::Instance& instance = *chain.instances[k];
    for (int i = 0; i < instance.signal_inlets(); i++) {
      float* vector = instance.inlet_vector(i);
      const size_t channel = chain.perChannel ? k : static_cast<size_t>(i);
      for (size_t frame = 0; frame < n; frame++) vector[frame] = frames.input[frame * inChannels + channel];
    }
    if (!instance.run()) return false;
    for (int j = 0; j < instance.signal_outlets(); j++, outChannel++) {
      const float* vector = instance.outlet_vector(j);
      for (size_t frame = 0; frame < n; frame++) frames.output[frame * outChannels + outChannel] = vector[frame];
    }
  }
  return true;
}

// Reads the next block of the input: count frames, zero past its end. The
// input ends where the reader first gives fewer frames than asked, whatever
// its header promised; inputEnd is -1 until then.
void read_block(AudioReader& reader, int64_t start, size_t count, int64_t& inputEnd, std::vector<float>& input) {
  const size_t channels = static_cast<size_t>(reader.channels());
  input.resize(count * channels);
  const size_t got = inputEnd < 0 ? reader.read(input.data(), count) : 0;
  std::fill(input.begin() + static_cast<long>(got * channels), input.end(), 0.0f);
  if (inputEnd < 0 && got < count) inputEnd = start + static_cast<int64_t>(got);
}

// What the end of the input tells: a header that promised more than the
// file held, or no audio at all.
void report_input_end(const RenderOptions& options, int64_t promised, int64_t inputEnd) {
  if (options.quiet) return;
  if (promised > inputEnd)
    std::fprintf(stderr, "tildefx: %s ends after %lld frames; its header promises %lld\n", options.inputPath.c_str(),
                 static_cast<long long>(inputEnd), static_cast<long long>(promised));
  else if (inputEnd == 0)
    std::fprintf(stderr, "tildefx: %s holds no audio\n", options.inputPath.c_str());
}

// Where a render ended: the input's frames, and the messages delivered
// before a block that ran.
struct RenderEnd {
  int64_t inputEnd = -1;
  size_t delivered = 0;
};

// Runs the chain over the input block by block, delivering each message
// before the first block that starts at or after its time, until the input
// has ended and the tail is written.
bool run_blocks(const RenderOptions& options, Chain& chain, const std::vector<TimedMessage>& timeline,
                AudioReader& reader, AudioWriter& writer, int64_t tailFrames, ProgressBar& progress, RenderEnd& end,
                std::string& errorText) {
  const size_t inChannels = static_cast<size_t>(reader.channels());
  size_t outChannels = 0;
  for (auto& instance : chain.instances) outChannels += static_cast<size_t>(instance->signal_outlets());
  BlockFrames frames;
  size_t next = 0;
  for (int64_t start = 0; end.inputEnd < 0 || start < end.inputEnd + tailFrames; start += chain.blockSize) {
    for (; next < timeline.size() && timeline[next].sample <= start; next++)
      if (!deliver(chain, timeline[next], options.quiet, errorText)) return false;
    const size_t n = static_cast<size_t>(chain.blockSize);
    read_block(reader, start, n, end.inputEnd, frames.input);
    const int64_t left = end.inputEnd < 0 ? static_cast<int64_t>(n) : end.inputEnd + tailFrames - start;
    if (left <= 0) break;
    frames.output.resize(n * outChannels);
    if (!process_block(chain, inChannels, outChannels, frames)) {
      print_console(options.quiet);
      errorText = options.object + " wrote outside its record; OUT is left as it was";
      return false;
    }
    end.delivered = next;
    if (!writer.write(frames.output.data(), static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), left)),
                      errorText))
      return false;
    progress.update(start);
  }
  return true;
}

}  // namespace

void print_console(bool quiet) {
  for (const standin::ConsoleLine& line : standin::take_console_lines())
    if (line.isError || !quiet) std::fprintf(stderr, "%s\n", standin::format_console_line(line).c_str());
}

int render(const RenderOptions& options) {
  if (options.blockSize < 1 || options.blockSize > MAX_BLOCK_SIZE)
    return fail("--block must be a whole number from 1 to " + std::to_string(MAX_BLOCK_SIZE));
  if (!known_sample_format(options.format))
    return fail("unknown --format '" + options.format + "' (float, double, pcm16, pcm24, pcm32)");
  std::string errorText;
  std::unique_ptr<AudioReader> reader = AudioReader::open(options.inputPath, errorText);
  if (!reader) return fail(errorText);
  const size_t inChannels = static_cast<size_t>(reader->channels());
  if (inChannels > static_cast<size_t>(options.maxChannels))
    return fail(options.inputPath + " has " + std::to_string(inChannels) + " channels; the limit is " +
                std::to_string(options.maxChannels) + " (--max-channels raises it)");
  const double sampleRate = options.sampleRate > 0.0 ? options.sampleRate : reader->sample_rate();
  if (!valid_sample_rate(sampleRate))
    return fail(options.inputPath + " has the sample rate " + std::to_string(reader->sample_rate()) +
                " Hz; it must be " + SAMPLE_RATE_RANGE + " (--rate sets another)");

  std::vector<TimedMessage> timeline;
  if (!collect_messages(options, sampleRate, timeline, errorText)) return fail(errorText);

  Chain chain;
  const bool created = create_instances(options.object, inChannels, chain, errorText);
  print_console(options.quiet);
  if (!created) return fail(errorText);
  const bool started = start_chain(chain, static_cast<float>(sampleRate), options.blockSize);
  print_console(options.quiet);
  if (!started) return fail("cannot start the signal chain");

  size_t outChannels = 0;
  for (auto& instance : chain.instances) outChannels += static_cast<size_t>(instance->signal_outlets());
  const int64_t tailFrames = std::llround(options.tailSeconds * sampleRate);
  // The header's count guides only the progress bar and the output's form.
  const int64_t promised = reader->frames();
  const int64_t expected = promised < 0 || promised > INT64_MAX - tailFrames ? -1 : promised + tailFrames;
  std::unique_ptr<AudioWriter> writer =
      AudioWriter::open(options.outputPath, options.inputPath, options.format, reader->sample_rate(),
                        static_cast<int>(outChannels), expected, errorText);
  if (!writer) return fail(errorText);
  ProgressBar progress(expected, !options.quiet && expected >= 0);
  RenderEnd end;
  if (!run_blocks(options, chain, timeline, *reader, *writer, tailFrames, progress, end, errorText))
    return fail(errorText);
  progress.finish();
  report_input_end(options, promised, end.inputEnd);
  const size_t late = timeline.size() - end.delivered;
  if (late > 0 && !options.quiet)
    std::fprintf(stderr, "tildefx: %zu message%s timed after the end of the render %s not delivered\n", late,
                 late == 1 ? "" : "s", late == 1 ? "was" : "were");
  // Freeing checks every record once more.
  chain.instances.clear();
  print_console(options.quiet);
  if (standin::damaged_records() > 0) return fail(options.object + " wrote outside its record; OUT is left as it was");
  if (!writer->commit(errorText)) return fail(errorText);
  return 0;
}

}  // namespace tildefx_tool
