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
  for (size_t i = 0; i < options.messages.size(); i++)
    timeline.push_back({0, options.messages[i], "argument " + std::to_string(i + 1)});
  if (!options.scorePath.empty() && !read_score(options.scorePath, sampleRate, timeline, errorText))
    return false;
  std::stable_sort(timeline.begin(), timeline.end(),
                   [](const TimedMessage& a, const TimedMessage& b) { return a.sample < b.sample; });
  for (const TimedMessage& timed : timeline) {
    std::string problem;
    standin::Message parsed;
    DspChange change;
    const bool valid = is_dsp_directive(timed.text) ? parse_dsp_directive(timed.text, change, problem)
                                                    : standin::parse_message(timed.text, parsed, problem);
    if (!valid) {
      errorText = timed.origin + ": " + problem;
      return false;
    }
  }
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
  if (is_dsp_directive(timed.text)) {
    DspChange change;
    parse_dsp_directive(timed.text, change, errorText);
    if (!start_chain(chain, change.sampleRate, change.blockSize)) {
      errorText = timed.origin + ": the signal chain could not be rebuilt";
      print_console(quiet);
      return false;
    }
  } else {
    for (auto& instance : chain.instances) instance->send_text(timed.text);
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

// Reads the next block of the input: count frames, zero past its end. Finds
// the end of a file that could not tell its length.
void read_block(AudioReader& reader, int64_t start, size_t count, int64_t& inputFrames, std::vector<float>& input) {
  const size_t channels = static_cast<size_t>(reader.channels());
  input.resize(count * channels);
  const int64_t left = inputFrames < 0 ? static_cast<int64_t>(count) : std::max<int64_t>(0, inputFrames - start);
  const size_t wanted = std::min(count, static_cast<size_t>(left));
  const size_t got = wanted > 0 ? reader.read(input.data(), wanted) : 0;
  std::fill(input.begin() + static_cast<long>(got * channels), input.end(), 0.0f);
  if (inputFrames < 0 && got < count) inputFrames = start + static_cast<int64_t>(got);
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
  int64_t inputFrames = reader->frames();  // found while reading when the file cannot tell
  const auto total = [&] { return inputFrames < 0 ? INT64_MAX : inputFrames + tailFrames; };
  std::unique_ptr<AudioWriter> writer =
      AudioWriter::open(options.outputPath, options.format, reader->sample_rate(), static_cast<int>(outChannels),
                        inputFrames < 0 ? -1 : total(), errorText);
  if (!writer) return fail(errorText);
  ProgressBar progress(total(), !options.quiet && inputFrames >= 0);
  BlockFrames frames;
  size_t next = 0;
  for (int64_t start = 0; start < total(); start += chain.blockSize) {
    for (; next < timeline.size() && timeline[next].sample <= start; next++)
      if (!deliver(chain, timeline[next], options.quiet, errorText)) return fail(errorText);
    const size_t n = static_cast<size_t>(chain.blockSize);
    read_block(*reader, start, n, inputFrames, frames.input);
    if (start >= total()) break;
    frames.output.resize(n * outChannels);
    if (!process_block(chain, inChannels, outChannels, frames)) {
      print_console(options.quiet);
      return fail(options.object + " wrote outside its record; OUT is left as it was");
    }
    const size_t count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), total() - start));
    if (!writer->write(frames.output.data(), count, errorText)) return fail(errorText);
    progress.update(start);
  }
  progress.finish();
  if (next < timeline.size() && !options.quiet)
    std::fprintf(stderr, "tildefx: %zu message%s timed after the end of the render %s not delivered\n",
                 timeline.size() - next, timeline.size() - next == 1 ? "" : "s",
                 timeline.size() - next == 1 ? "was" : "were");
  // Freeing checks every record once more.
  chain.instances.clear();
  print_console(options.quiet);
  if (standin::damaged_records() > 0) return fail(options.object + " wrote outside its record; OUT is left as it was");
  if (!writer->commit(errorText)) return fail(errorText);
  return 0;
}

}  // namespace tildefx_tool
