#include "audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "system_files.h"

namespace tildefx_tool {

namespace {
int sample_format_code(const std::string& format) {
  if (format == "float") return SF_FORMAT_FLOAT;
  if (format == "double") return SF_FORMAT_DOUBLE;
  if (format == "pcm16") return SF_FORMAT_PCM_16;
  if (format == "pcm24") return SF_FORMAT_PCM_24;
  if (format == "pcm32") return SF_FORMAT_PCM_32;
  return 0;
}

// Frames gathered before one call into libsndfile, which passes each call
// straight to the system.
const size_t CHUNK_FRAMES = 16384;
}  // namespace

bool known_sample_format(const std::string& format) { return sample_format_code(format) != 0; }

// ---- Reading ---------------------------------------------------------------

struct AudioReader::State {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  std::vector<float> chunk;  // frames read ahead
  size_t chunkFrames = 0;
  size_t chunkUsed = 0;
};

AudioReader::AudioReader(State* state) : state_(state) {}

AudioReader::~AudioReader() { sf_close(state_->file); }

std::unique_ptr<AudioReader> AudioReader::open(const std::string& path, std::string& errorText) {
  std::string reason;
  const int descriptor = open_for_reading(path, reason);
  if (descriptor < 0) {
    errorText = "cannot read " + path + ": " + reason;
    return nullptr;
  }
  auto state = std::make_unique<State>();
  state->file = sf_open_fd(descriptor, SFM_READ, &state->info, SF_TRUE);
  if (state->file == nullptr) {
    errorText = "cannot read " + path + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  return std::unique_ptr<AudioReader>(new AudioReader(state.release()));
}

int AudioReader::sample_rate() const { return state_->info.samplerate; }
int AudioReader::channels() const { return state_->info.channels; }
int64_t AudioReader::frames() const {
  // A stream written without its length says SF_COUNT_MAX.
  const bool known = state_->info.seekable && state_->info.frames < SF_COUNT_MAX;
  return known ? state_->info.frames : -1;
}

size_t AudioReader::read(float* interleaved, size_t count) {
  State& s = *state_;
  const size_t channels = static_cast<size_t>(s.info.channels);
  size_t done = 0;
  while (done < count) {
    if (s.chunkUsed == s.chunkFrames) {
      s.chunk.resize(CHUNK_FRAMES * channels);
      const sf_count_t got = sf_readf_float(s.file, s.chunk.data(), static_cast<sf_count_t>(CHUNK_FRAMES));
      s.chunkFrames = got > 0 ? static_cast<size_t>(got) : 0;
      s.chunkUsed = 0;
      if (s.chunkFrames == 0) break;
    }
    const size_t take = std::min(count - done, s.chunkFrames - s.chunkUsed);
    std::copy_n(s.chunk.begin() + static_cast<long>(s.chunkUsed * channels), take * channels,
                interleaved + done * channels);
    s.chunkUsed += take;
    done += take;
  }
  return done;
}

// ---- Writing ---------------------------------------------------------------

struct AudioWriter::State {
  SNDFILE* file = nullptr;
  int channels = 0;
  bool pcm = false;
  std::vector<float> pending;  // frames not yet handed to libsndfile
  OutputTarget target;
  std::string path;
  bool finished = false;
};

AudioWriter::AudioWriter(State* state) : state_(state) {}

AudioWriter::~AudioWriter() { abandon(); }

std::unique_ptr<AudioWriter> AudioWriter::open(const std::string& path, const std::string& inputPath,
                                               const std::string& format, int sampleRate, int channels,
                                               int64_t frames, std::string& errorText) {
  auto state = std::make_unique<State>();
  state->path = path;
  if (!prepare_output(path, inputPath, state->target, errorText)) return nullptr;
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  const double bytes = static_cast<double>(frames) * channels * 8.0;  // the widest sample format
  const bool large = frames < 0 || bytes > 4.0e9;
  info.format = (large ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | sample_format_code(format);
  state->file = sf_open_fd(duplicate_descriptor(state->target.descriptor), SFM_WRITE, &info, SF_TRUE);
  if (state->file == nullptr) {
    errorText = "cannot write " + path + ": " + sf_strerror(nullptr);
    discard_output(state->target);
    return nullptr;
  }
  sf_command(state->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_command(state->file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);  // an unknown length that stays small
  state->channels = channels;
  state->pcm = sample_format_code(format) != SF_FORMAT_FLOAT && sample_format_code(format) != SF_FORMAT_DOUBLE;
  return std::unique_ptr<AudioWriter>(new AudioWriter(state.release()));
}

namespace {
bool flush(AudioWriter::State& s, std::string& errorText) {
  const sf_count_t count = static_cast<sf_count_t>(s.pending.size() / static_cast<size_t>(s.channels));
  const bool written = sf_writef_float(s.file, s.pending.data(), count) == count;
  s.pending.clear();
  if (!written) errorText = "cannot write " + s.path + ": " + sf_strerror(s.file);
  return written;
}
}  // namespace

bool AudioWriter::write(const float* interleaved, size_t count, std::string& errorText) {
  State& s = *state_;
  const size_t start = s.pending.size();
  s.pending.insert(s.pending.end(), interleaved, interleaved + count * static_cast<size_t>(s.channels));
  // The library would write a NaN as full scale: a click.
  if (s.pcm)
    for (size_t i = start; i < s.pending.size(); i++)
      if (!std::isfinite(s.pending[i])) s.pending[i] = 0.0f;
  return s.pending.size() < CHUNK_FRAMES * static_cast<size_t>(s.channels) || flush(s, errorText);
}

bool AudioWriter::commit(std::string& errorText) {
  if (!flush(*state_, errorText)) {
    abandon();
    return false;
  }
  const bool closed = sf_close(state_->file) == 0;
  state_->file = nullptr;
  if (!closed) {
    errorText = "cannot write " + state_->path + ": the file could not be completed";
    abandon();
    return false;
  }
  state_->finished = true;
  return finish_output(state_->target, errorText);
}

void AudioWriter::abandon() {
  if (state_->finished) return;
  if (state_->file != nullptr) sf_close(state_->file);
  state_->file = nullptr;
  discard_output(state_->target);
  state_->finished = true;
}

}  // namespace tildefx_tool
