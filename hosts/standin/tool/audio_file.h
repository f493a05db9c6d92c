// Reading and writing audio files, one vector of samples per channel.
#pragma once

#include <string>
#include <vector>

namespace tildefx_tool {

struct Audio {
  int sampleRate = 0;
  std::vector<std::vector<float>> channels;
  size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Any format libsndfile reads. False with errorText when it cannot.
bool read_audio(const std::string& path, Audio& audio, std::string& errorText);

// Sample formats the tool writes, all in WAV: "float" (32-bit), "double",
// "pcm16", "pcm24", "pcm32".
bool known_sample_format(const std::string& format);

// Writes to a temporary file beside path and renames it into place, so that
// an existing file is never left half-written.
bool write_audio(const std::string& path, const Audio& audio, const std::string& format,
                 std::string& errorText);

}  // namespace tildefx_tool
