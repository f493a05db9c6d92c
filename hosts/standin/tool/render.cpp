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

// The instances that process the file, with their block buffers.
struct Chain {
  std::vector<std::unique_ptr<standin::Instance>> instances;
  bool perChannel = false;  // one instance per channel of the file
  int blockSize = 0;
  std::vector<std::vector<std::vector<float>>> inBlocks;   // [instance][inlet]
  std::vector<std::vector<std::vector<float>>> outBlocks;  // [instance][outlet]
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
  const size_t n = static_cast<size_t>(blockSize);
  chain.inBlocks.clear();
  chain.outBlocks.clear();
  for (auto& instance : chain.instances) {
    if (!instance->dsp(sampleRate, blockSize)) return false;
    chain.inBlocks.emplace_back(static_cast<size_t>(instance->signal_inlets()), std::vector<float>(n));
    chain.outBlocks.emplace_back(static_cast<size_t>(instance->signal_outlets()), std::vector<float>(n));
  }
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

// Runs one block at frame `start` of the input; frames beyond its end are silence.
void process_block(Chain& chain, const Audio& input, int64_t start, int64_t total, Audio& output) {
  const size_t n = static_cast<size_t>(chain.blockSize);
  const size_t first = static_cast<size_t>(start);
  const size_t count = std::min(n, static_cast<size_t>(total - start));
  size_t outChannel = 0;
  for (size_t k = 0; k < chain.instances.size(); k++) {
    std::vector<const float*> inPointers;
    std::vector<float*> outPointers;
    for (size_t i = 0; i < chain.inBlocks[k].size(); i++) {
      std::vector<float>& block = chain.inBlocks[k][i];
      const std::vector<float>& source = input.channels[chain.perChannel ? k : i];
      std::fill(block.begin(), block.end(), 0.0f);
      if (first < source.size())
        std::copy_n(source.begin() + static_cast<long>(first), std::min(n, source.size() - first), block.begin());
      inPointers.push_back(block.data());
    }
    for (std::vector<float>& block : chain.outBlocks[k]) outPointers.push_back(block.data());
    chain.instances[k]->process(inPointers.data(), outPointers.data());
    for (const std::vector<float>& block : chain.outBlocks[k])
      std::copy_n(block.begin(), count, output.channels[outChannel++].begin() + static_cast<long>(first));
  }
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
  Audio input;
  if (!read_audio(options.inputPath, input, errorText)) return fail(errorText);
  const double sampleRate = options.sampleRate > 0.0 ? options.sampleRate : input.sampleRate;

  std::vector<TimedMessage> timeline;
  if (!collect_messages(options, sampleRate, timeline, errorText)) return fail(errorText);

  Chain chain;
  const bool created = create_instances(options.object, input.channels.size(), chain, errorText);
  print_console(options.quiet);
  if (!created) return fail(errorText);
  const bool started = start_chain(chain, static_cast<float>(sampleRate), options.blockSize);
  print_console(options.quiet);
  if (!started) return fail("cannot start the signal chain");

  const int64_t total = static_cast<int64_t>(input.frames()) + std::llround(options.tailSeconds * sampleRate);
  Audio output;
  output.sampleRate = input.sampleRate;
  for (auto& instance : chain.instances)
    for (int j = 0; j < instance->signal_outlets(); j++) output.channels.emplace_back(static_cast<size_t>(total), 0.0f);

  ProgressBar progress(total, !options.quiet);
  size_t next = 0;
  for (int64_t start = 0; start < total; start += chain.blockSize) {
    for (; next < timeline.size() && timeline[next].sample <= start; next++)
      if (!deliver(chain, timeline[next], options.quiet, errorText)) return fail(errorText);
    process_block(chain, input, start, total, output);
    progress.update(start);
  }
  progress.finish();
  if (next < timeline.size() && !options.quiet)
    std::fprintf(stderr, "tildefx: %zu message%s timed after the end of the render %s not delivered\n",
                 timeline.size() - next, timeline.size() - next == 1 ? "" : "s",
                 timeline.size() - next == 1 ? "was" : "were");
  if (!write_audio(options.outputPath, output, options.format, errorText)) return fail(errorText);
  return 0;
}

}  // namespace tildefx_tool
