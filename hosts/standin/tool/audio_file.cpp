#include "audio_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

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

const size_t CHUNK_FRAMES = 65536;
}  // namespace

bool known_sample_format(const std::string& format) { return sample_format_code(format) != 0; }

bool read_audio(const std::string& path, Audio& audio, std::string& errorText) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    errorText = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  audio.sampleRate = info.samplerate;
  const size_t channelCount = static_cast<size_t>(info.channels);
  audio.channels.assign(channelCount, {});
  std::vector<float> interleaved(CHUNK_FRAMES * channelCount);
  for (;;) {
    const sf_count_t got = sf_readf_float(file, interleaved.data(), CHUNK_FRAMES);
    if (got <= 0) break;
    for (sf_count_t frame = 0; frame < got; frame++)
      for (size_t c = 0; c < channelCount; c++)
        audio.channels[c].push_back(interleaved[static_cast<size_t>(frame) * channelCount + c]);
  }
  sf_close(file);
  return true;
}

bool write_audio(const std::string& path, const Audio& audio, const std::string& format,
                 std::string& errorText) {
  SF_INFO info{};
  info.samplerate = audio.sampleRate;
  info.channels = static_cast<int>(audio.channels.size());
  info.format = SF_FORMAT_WAV | sample_format_code(format);
  const std::string temporary = path + ".partial-" + std::to_string(getpid());
  SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    errorText = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const size_t channelCount = audio.channels.size();
  std::vector<float> interleaved(CHUNK_FRAMES * channelCount);
  bool written = true;
  for (size_t start = 0; start < audio.frames() && written; start += CHUNK_FRAMES) {
    const size_t count = std::min(CHUNK_FRAMES, audio.frames() - start);
    for (size_t frame = 0; frame < count; frame++)
      for (size_t c = 0; c < channelCount; c++)
        interleaved[frame * channelCount + c] = audio.channels[c][start + frame];
    written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(count)) ==
              static_cast<sf_count_t>(count);
  }
  if (!written) errorText = "cannot write " + path + ": " + sf_strerror(file);
  if (sf_close(file) != 0 && written) {
    errorText = "cannot write " + path;
    written = false;
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
    errorText = "cannot write " + path + ": rename failed";
    written = false;
  }
  if (!written) std::remove(temporary.c_str());
  return written;
}

}  // namespace tildefx_tool
